"""Event against pydantic v2 models and msgspec Structs of the same shape, in
one run: a realistic event (a tool call with nested arguments, from an agent
with a coding-agent card, about 2 KB of JSON) and a 1,000-event trajectory
of mixed payload kinds, each operation applied event by event.

Operations and their peers:
  Event(...)   PEvent(...)              MEvent(...)
  from_dict    model_validate           msgspec.convert(..., type=MEvent)
  to_dict      model_dump               msgspec.to_builtins
  from_json    model_validate_json      msgspec.json.decode(..., type=MEvent)
  to_json      model_dump_json          msgspec.json.encode

Targets: at least 3x faster than pydantic on every operation; from_json and
to_json no slower than msgspec; from_dict and to_dict within 1.5x of msgspec.
Prints nanoseconds per event (best of several repeats) and the ratios
(theirs / ours: above 1 means we are faster).

    .venv/bin/python bench/python/bench_event.py [--quick]
"""
from __future__ import annotations

import datetime
import json
import sys
import time
from typing import Annotated, Any, Literal, Optional, Union

import msgspec
import pydantic

from tavimor_revizer_client import Actor, Agent, Causality, Event, ExecutionAttribution  # noqa: F401

# --- the data ----------------------------------------------------------------

TOOLS = [
    {"name": name, "description": f"{name} tool of the coding agent", "parameters": [
        {"name": "path", "description": "file path", "type": "string"},
        {"name": "limit", "description": "line limit", "type": "integer"}]}
    for name in ("Read", "Edit", "Bash")
]

CODING_CARD = {
    "metadata": {"schema_version": "1.2", "hook_version": "2025-09-01"},
    "model": "claude-sonnet-4-5",
    "workspace_root": "/home/dev/projects/payments-service",
    "execution_mode": "acceptEdits",
    "system_instruction": "You are a careful coding agent. Run the tests before you finish.",
    "capabilities": {"tools": TOOLS, "hook_commands": ["PreToolUse", "PostToolUse"],
                     "slash_commands": ["/review", "/test"], "named_agents": ["reviewer"],
                     "skills": ["python", "sql"]},
    "assets": [{"scope": "project", "kind": "instructions", "name": "AGENTS.md",
                "path": "/home/dev/projects/payments-service/AGENTS.md",
                "content_sha256": "9f2c4a1be0d7c3f5a86e41b2d9c07e13aa54f6b8c2d1e0f9a7b6c5d4e3f2a1b0"}],
    "settings": [{"scope": "user", "path": "/home/dev/.claude/settings.json",
                  "content_sha256": "1a2b3c4d5e6f708192a3b4c5d6e7f8091a2b3c4d5e6f708192a3b4c5d6e7f809",
                  "allow_permissions": ["Bash(pytest:*)", "Read(**)"], "deny_permissions": ["Bash(rm:*)"],
                  "hook_commands": ["python hooks/audit.py"]}],
    "normalized_context": {"codex.permission_mode": "acceptEdits", "tavimor.initial_label": "fix-refund-rounding"},
}

AGENT = {"id": "agent-7f3c", "provider": "anthropic", "platform": "claude-code",
         "card": {"CodingAgentCard": CODING_CARD}}

ARGUMENTS = {
    "command": "pytest -q tests/test_refunds.py::test_rounding --maxfail=1",
    "env": {"PYTHONHASHSEED": "0", "CI": "1"},
    "options": {"timeout_ms": 120000, "retries": 2, "ratio": 0.75, "dry_run": False,
                "paths": ["src/refunds.py", "src/money.py", "tests/test_refunds.py"],
                "matrix": [{"python": "3.12", "db": "postgres"}, {"python": "3.14", "db": None}]},
}

TOOL_CALL_EVENT = {
    "event_id": "evt-0b6c1f4e-3f1a-4c5e-9d2b-7a8e6f1c2d3b",
    "trajectory_id": "traj-2025-03-01-payments",
    "agent": AGENT,
    "timestamp": "2025-03-01T12:00:00.250Z",
    "event": {"category": "Action", "payload": {"type": "ToolCall", "data": {
        "call_id": "call-4d2e8f10-6b3a-4c7d-8e9f-0a1b2c3d4e5f", "tool": "Bash", "arguments": ARGUMENTS}}},
    "actor": {"id": "agent-7f3c", "actor_type": "Agent"},
    "causality": {"correlation_id": "corr-5e6f7a8b-9c0d-4e1f-a2b3-c4d5e6f7a8b9",
                  "causation_id": "evt-prev-0001", "parent_id": None},
    "provider_call_id": "toolu_01ABCDEF",
    "execution": {"agent_name": "reviewer", "agent_path": ["main", "reviewer"]},
}


def trajectory_payload(i):
    call_id = f"call-{i:08d}"
    kind = i % 8
    if kind == 0:
        return "Action", "ToolCall", {"call_id": call_id, "tool": "Read",
                                      "arguments": {"path": f"src/module_{i}.py", "limit": 200}}
    if kind == 1:
        return "Observation", "ToolOutput", {"call_id": call_id, "success": True,
                                             "output": {"lines": [f"line {j}" for j in range(5)]}, "error": None}
    if kind == 2:
        return "Observation", "Prompt", {"content": f"Please fix failing test number {i}.", "role": "User"}
    if kind == 3:
        return "Observation", "Thought", {"thought": "The rounding uses floats; switch to Decimal and re-run."}
    if kind == 4:
        return "Action", "ShellCommand", {"call_id": call_id, "command": "pytest -q", "working_dir": "/w"}
    if kind == 5:
        return "Observation", "ShellCommandOutput", {"call_id": call_id, "exit_code": i % 3,
                                                     "stdout": "3 passed", "stderr": ""}
    if kind == 6:
        return "Action", "FileOperation", {"call_id": call_id, "operation": "Edit", "path": "src/refunds.py",
                                           "content": "return Decimal(x)", "old_content": "return float(x)"}
    return "Observation", "FileOperationResult", {"call_id": call_id, "success": True, "content": None,
                                                  "error": None}


def trajectory_event(i):
    category, kind, data = trajectory_payload(i)
    event = dict(TOOL_CALL_EVENT)
    event["event_id"] = f"evt-{i:08d}"
    event["timestamp"] = f"2025-03-01T12:{i // 60 % 60:02d}:{i % 60:02d}.{i % 1000:03d}Z"
    event["event"] = {"category": category, "payload": {"type": kind, "data": data}}
    event["causality"] = {"correlation_id": "corr-1", "causation_id": f"evt-{i - 1:08d}", "parent_id": None}
    return event


# --- pydantic v2 models of the same shape --------------------------------------

class PParameter(pydantic.BaseModel):
    model_config = pydantic.ConfigDict(populate_by_name=True)
    name: str
    description: str
    param_type: str = pydantic.Field(alias="type")


class PTool(pydantic.BaseModel):
    name: str
    description: str
    parameters: list[PParameter] = []


class PMetadata(pydantic.BaseModel):
    schema_version: str
    hook_version: str


class PCapabilities(pydantic.BaseModel):
    tools: list[PTool] = []
    hook_commands: list[str] = []
    slash_commands: list[str] = []
    named_agents: list[str] = []
    skills: list[str] = []


class PAsset(pydantic.BaseModel):
    scope: str
    kind: str
    name: str
    path: str
    content_sha256: str


class PSettings(pydantic.BaseModel):
    scope: str
    path: str
    content_sha256: str
    allow_permissions: list[str] = []
    deny_permissions: list[str] = []
    hook_commands: list[str] = []


class PCodingCard(pydantic.BaseModel):
    metadata: PMetadata
    model: Optional[str] = None
    workspace_root: str
    execution_mode: str
    system_instruction: Optional[str] = None
    capabilities: PCapabilities
    assets: list[PAsset]
    settings: list[PSettings]
    normalized_context: dict[str, str] = {}


class PReActCard(pydantic.BaseModel):
    model: Optional[str] = None
    system_instruction: Optional[str] = None


class PCard(pydantic.BaseModel):
    ReActAgentCard: Optional[PReActCard] = None
    CodingAgentCard: Optional[PCodingCard] = None


class PAgent(pydantic.BaseModel):
    id: str
    provider: str
    platform: str
    card: PCard


class PToolCall(pydantic.BaseModel):
    call_id: str
    tool: str
    arguments: Any


class PShellCommand(pydantic.BaseModel):
    call_id: str
    command: str
    working_dir: Optional[str] = None


class PFileOperation(pydantic.BaseModel):
    call_id: str
    operation: Literal["Read", "Write", "Edit", "Delete"]
    path: str
    content: Optional[str] = None
    old_content: Optional[str] = None


class PPrompt(pydantic.BaseModel):
    content: str
    role: Literal["User", "System", "Assistant"]


class PThought(pydantic.BaseModel):
    thought: str


class PToolOutput(pydantic.BaseModel):
    call_id: str
    success: bool
    output: Any
    error: Optional[str] = None


class PShellCommandOutput(pydantic.BaseModel):
    call_id: str
    exit_code: int
    stdout: str
    stderr: str


class PFileOperationResult(pydantic.BaseModel):
    call_id: str
    success: bool
    content: Optional[str] = None
    error: Optional[str] = None


def p_variant(name, record):
    return pydantic.create_model(f"P{name}Payload", type=(Literal[name], ...), data=(record, ...))


PActionPayload = Annotated[Union[p_variant("ToolCall", PToolCall), p_variant("ShellCommand", PShellCommand),
                                 p_variant("FileOperation", PFileOperation)], pydantic.Field(discriminator="type")]
PObservationPayload = Annotated[Union[
    p_variant("Prompt", PPrompt), p_variant("Thought", PThought), p_variant("ToolOutput", PToolOutput),
    p_variant("ShellCommandOutput", PShellCommandOutput), p_variant("FileOperationResult", PFileOperationResult)],
    pydantic.Field(discriminator="type")]


class PActionEvent(pydantic.BaseModel):
    category: Literal["Action"]
    payload: PActionPayload


class PObservationEvent(pydantic.BaseModel):
    category: Literal["Observation"]
    payload: PObservationPayload


class PActor(pydantic.BaseModel):
    id: str
    actor_type: Literal["Human", "Agent", "System", "Policy"]


class PCausality(pydantic.BaseModel):
    correlation_id: str
    causation_id: Optional[str] = None
    parent_id: Optional[str] = None


class PExecution(pydantic.BaseModel):
    agent_name: str
    agent_path: list[str] = []


class PEvent(pydantic.BaseModel):
    event_id: str
    trajectory_id: str
    agent: PAgent
    timestamp: datetime.datetime
    event: Annotated[Union[PActionEvent, PObservationEvent], pydantic.Field(discriminator="category")]
    actor: PActor
    causality: PCausality
    provider_call_id: Optional[str] = None
    execution: Optional[PExecution] = None


# --- msgspec Structs of the same shape -----------------------------------------

class MParameter(msgspec.Struct):
    name: str
    description: str
    type: str


class MTool(msgspec.Struct):
    name: str
    description: str
    parameters: list[MParameter] = []


class MMetadata(msgspec.Struct):
    schema_version: str
    hook_version: str


class MCapabilities(msgspec.Struct):
    tools: list[MTool] = []
    hook_commands: list[str] = []
    slash_commands: list[str] = []
    named_agents: list[str] = []
    skills: list[str] = []


class MAsset(msgspec.Struct):
    scope: str
    kind: str
    name: str
    path: str
    content_sha256: str


class MSettings(msgspec.Struct):
    scope: str
    path: str
    content_sha256: str
    allow_permissions: list[str] = []
    deny_permissions: list[str] = []
    hook_commands: list[str] = []


class MCodingCard(msgspec.Struct, omit_defaults=True):
    metadata: MMetadata
    workspace_root: str
    execution_mode: str
    capabilities: MCapabilities
    assets: list[MAsset]
    settings: list[MSettings]
    model: Optional[str] = None
    system_instruction: Optional[str] = None
    normalized_context: dict[str, str] = {}


class MReActCard(msgspec.Struct, omit_defaults=True):
    model: Optional[str] = None
    system_instruction: Optional[str] = None


class MCard(msgspec.Struct, omit_defaults=True):
    ReActAgentCard: Optional[MReActCard] = None
    CodingAgentCard: Optional[MCodingCard] = None


class MAgent(msgspec.Struct):
    id: str
    provider: str
    platform: str
    card: MCard


class MToolCall(msgspec.Struct):
    call_id: str
    tool: str
    arguments: Any


class MShellCommand(msgspec.Struct):
    call_id: str
    command: str
    working_dir: Optional[str] = None


class MFileOperation(msgspec.Struct, omit_defaults=True):
    call_id: str
    operation: Literal["Read", "Write", "Edit", "Delete"]
    path: str
    content: Optional[str] = None
    old_content: Optional[str] = None


class MPrompt(msgspec.Struct):
    content: str
    role: Literal["User", "System", "Assistant"]


class MThought(msgspec.Struct):
    thought: str


class MToolOutput(msgspec.Struct):
    call_id: str
    success: bool
    output: Any
    error: Optional[str] = None


class MShellCommandOutput(msgspec.Struct):
    call_id: str
    exit_code: int
    stdout: str
    stderr: str


class MFileOperationResult(msgspec.Struct):
    call_id: str
    success: bool
    content: Optional[str] = None
    error: Optional[str] = None


def m_variant(name, record):
    return msgspec.defstruct(f"M{name}Payload", [("data", record)], tag_field="type", tag=name)


MActionPayload = Union[m_variant("ToolCall", MToolCall), m_variant("ShellCommand", MShellCommand),
                       m_variant("FileOperation", MFileOperation)]
MObservationPayload = Union[
    m_variant("Prompt", MPrompt), m_variant("Thought", MThought), m_variant("ToolOutput", MToolOutput),
    m_variant("ShellCommandOutput", MShellCommandOutput), m_variant("FileOperationResult", MFileOperationResult)]


class MActionEvent(msgspec.Struct, tag_field="category", tag="Action"):
    payload: MActionPayload


class MObservationEvent(msgspec.Struct, tag_field="category", tag="Observation"):
    payload: MObservationPayload


class MActor(msgspec.Struct):
    id: str
    actor_type: Literal["Human", "Agent", "System", "Policy"]


class MCausality(msgspec.Struct):
    correlation_id: str
    causation_id: Optional[str] = None
    parent_id: Optional[str] = None


class MExecution(msgspec.Struct, omit_defaults=True):
    agent_name: str
    agent_path: list[str] = []


class MEvent(msgspec.Struct, omit_defaults=True):
    event_id: str
    trajectory_id: str
    agent: MAgent
    timestamp: datetime.datetime
    event: Union[MActionEvent, MObservationEvent]
    actor: MActor
    causality: MCausality
    provider_call_id: Optional[str] = None
    execution: Optional[MExecution] = None


# --- timing --------------------------------------------------------------------

def best_ns(fn, number, repeat, per):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter_ns()
        fn(number)
        best = min(best, (time.perf_counter_ns() - start) / number / per)
    return best


def loop(body):
    """A timing loop around one statement, compiled so the loop costs alike."""
    namespace = dict(globals())
    exec(f"def run(n):\n    for _ in range(n):\n        {body}\n", namespace)
    return namespace["run"]


OPERATIONS = {
    # operation: (ours, pydantic, msgspec), each a statement over the prepared names
    "Event(...)": ("Event(o_agent, TID, o_payload, actor=o_actor, causality=o_causality, execution=o_execution, "
                   "provider_call_id=PCID, event_id=EID, timestamp=TS)",
                   "PEvent(event_id=EID, trajectory_id=TID, agent=p_agent, timestamp=TS, event=p_payload, "
                   "actor=p_actor, causality=p_causality, provider_call_id=PCID, execution=p_execution)",
                   "MEvent(event_id=EID, trajectory_id=TID, agent=m_agent, timestamp=TS_DT, event=m_payload, "
                   "actor=m_actor, causality=m_causality, provider_call_id=PCID, execution=m_execution)"),
    "from_dict": ("Event.from_dict(DICT)", "PEvent.model_validate(DICT)", "msgspec.convert(DICT, type=MEvent)"),
    "to_dict": ("o_event.to_dict()", "p_event.model_dump(by_alias=True, exclude_none=True)",
                "msgspec.to_builtins(m_event)"),
    "from_json": ("Event.from_json(TEXT)", "PEvent.model_validate_json(TEXT)",
                  "msgspec.json.decode(TEXT_B, type=MEvent)"),
    "to_json": ("o_event.to_json()", "p_event.model_dump_json(by_alias=True, exclude_none=True)",
                "msgspec.json.encode(m_event)"),
}

TRAJECTORY = {
    "from_dict": ("[Event.from_dict(d) for d in DICTS]", "[PEvent.model_validate(d) for d in DICTS]",
                  "[msgspec.convert(d, type=MEvent) for d in DICTS]"),
    "to_dict": ("[e.to_dict() for e in O_EVENTS]", "[e.model_dump(by_alias=True, exclude_none=True) for e in P_EVENTS]",
                "[msgspec.to_builtins(e) for e in M_EVENTS]"),
    "from_json": ("[Event.from_json(t) for t in TEXTS]", "[PEvent.model_validate_json(t) for t in TEXTS]",
                  "[msgspec.json.decode(t, type=MEvent) for t in TEXTS_B]"),
    "to_json": ("[e.to_json() for e in O_EVENTS]",
                "[e.model_dump_json(by_alias=True, exclude_none=True) for e in P_EVENTS]",
                "[msgspec.json.encode(e) for e in M_EVENTS]"),
}

TARGETS = {"Event(...)": None, "from_dict": 1 / 1.5, "to_dict": 1 / 1.5, "from_json": 1.0, "to_json": 1.0}


def without_nulls(value):
    if isinstance(value, dict):
        return {k: without_nulls(v) for k, v in value.items() if v is not None}
    if isinstance(value, list):
        return [without_nulls(v) for v in value]
    return value


def prepare():
    data = TOOL_CALL_EVENT
    text = json.dumps(data, separators=(",", ":"))
    o_event = Event.from_dict(data)
    p_event = PEvent.model_validate(data)
    m_event = msgspec.convert(data, type=MEvent)
    # The three agree on the form (the timestamp aside, which the peers hold as
    # a datetime and write in their own text).
    # Null-valued keys aside: the peers leave those out where we write null.
    ours = without_nulls(o_event.to_dict())
    for theirs in (p_event.model_dump(by_alias=True, exclude_none=True), msgspec.to_builtins(m_event)):
        theirs = without_nulls(json.loads(json.dumps(theirs, default=str)))
        theirs["timestamp"] = ours["timestamp"]
        assert theirs == ours, (theirs, ours)
    assert Event.from_json(o_event.to_json()) == o_event
    dicts = [trajectory_event(i) for i in range(1000)]
    texts = [json.dumps(d, separators=(",", ":")) for d in dicts]
    names = dict(
        DICT=data, TEXT=text, TEXT_B=text.encode(), EID=data["event_id"], TID=data["trajectory_id"],
        PCID=data["provider_call_id"], TS=data["timestamp"], TS_DT=m_event.timestamp,
        o_event=o_event, p_event=p_event, m_event=m_event,
        o_agent=o_event.agent, o_payload=o_event.event, o_actor=o_event.actor, o_causality=o_event.causality,
        o_execution=o_event.execution,
        p_agent=p_event.agent, p_payload=p_event.event, p_actor=p_event.actor, p_causality=p_event.causality,
        p_execution=p_event.execution,
        m_agent=m_event.agent, m_payload=m_event.event, m_actor=m_event.actor, m_causality=m_event.causality,
        m_execution=m_event.execution,
        DICTS=dicts, TEXTS=texts, TEXTS_B=[t.encode() for t in texts],
        O_EVENTS=[Event.from_dict(d) for d in dicts], P_EVENTS=[PEvent.model_validate(d) for d in dicts],
        M_EVENTS=[msgspec.convert(d, type=MEvent) for d in dicts],
    )
    globals().update(names)
    return len(text)


def report(title, table, number, repeat, per):
    print(f"\n{title}")
    print(f"{'operation':<12}{'ours ns':>10}{'pydantic ns':>13}{'msgspec ns':>12}{'pyd/ours':>10}{'msgspec/ours':>14}"
          f"  targets")
    failures = []
    for name, (ours, pyd, msg) in table.items():
        o = best_ns(loop(ours), number, repeat, per)
        p = best_ns(loop(pyd), number, repeat, per)
        m = best_ns(loop(msg), number, repeat, per)
        target = TARGETS[name]
        ok_p = p / o >= 3.0
        ok_m = target is None or m / o >= target
        marks = ("ok" if ok_p else "MISS pydantic") + ("" if target is None else (", ok" if ok_m else ", MISS msgspec"))
        if not (ok_p and ok_m):
            failures.append(f"{title}: {name}")
        print(f"{name:<12}{o:>10.0f}{p:>13.0f}{m:>12.0f}{p / o:>10.2f}{m / o:>14.2f}  {marks}")
    return failures


def main():
    quick = "--quick" in sys.argv
    size = prepare()
    number, repeat = (200, 3) if quick else (20_000, 7)
    failures = report(f"one tool-call event ({size} bytes of JSON), per event", OPERATIONS, number, repeat, 1)
    failures += report("1,000-event trajectory, per event", TRAJECTORY, max(1, number // 1000), repeat, 1000)
    print("\nall targets met" if not failures else "\nmissed: " + "; ".join(failures))


if __name__ == "__main__":
    main()
