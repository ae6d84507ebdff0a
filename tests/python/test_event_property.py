"""Round trips of generated events: for every payload kind, an event written to
its dict or JSON form reads back equal (events without inline asset content,
which the forms strip)."""
import string

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tavimor_revizer_client import (
    Actor,
    ActorType,
    Adjudicated,
    Agent,
    AgentCard,
    Causality,
    Completed,
    Decision,
    Event,
    ExecutionAttribution,
    Failed,
    FileOperation,
    FileOperationResult,
    FileOpType,
    Mode,
    Prompt,
    PromptRole,
    ReActAgentCard,
    Resumed,
    Scanned,
    ShellCommand,
    ShellCommandOutput,
    Snapshot,
    Started,
    Steering,
    Suspended,
    Terminated,
    Thought,
    ToolCall,
    ToolOutput,
    WebFetch,
    WebFetchOutput,
)

texts = st.text(max_size=12)
optional_texts = st.none() | texts
scalars = (
    st.none()
    | st.booleans()
    | st.integers(min_value=-(2**63), max_value=2**64 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | texts
)
json_values = st.recursive(
    scalars,
    lambda inner: st.lists(inner, max_size=4) | st.dictionaries(texts, inner, max_size=4),
    max_leaves=12,
)
i32 = st.integers(min_value=-(2**31), max_value=2**31 - 1)

react_agents = st.builds(
    lambda i, p, platform, model, instruction: Agent(
        i, p, platform=platform, card=AgentCard.react(ReActAgentCard(model=model, system_instruction=instruction))),
    texts, texts, optional_texts, optional_texts, optional_texts)


@st.composite
def coding_agents(draw):
    card = {
        "metadata": {"schema_version": draw(texts), "hook_version": draw(texts)},
        "workspace_root": draw(texts),
        "execution_mode": draw(texts),
        "capabilities": {"tools": [], "hook_commands": draw(st.lists(texts, max_size=2)), "slash_commands": [],
                         "named_agents": [], "skills": draw(st.lists(texts, max_size=2))},
        "assets": [{"scope": draw(texts), "kind": "k", "name": draw(texts), "path": draw(texts),
                    "content_sha256": draw(texts)} for _ in range(draw(st.integers(0, 2)))],
        "settings": [],
        "normalized_context": draw(st.dictionaries(texts, texts, max_size=3)),
    }
    return Agent.from_dict({"id": draw(texts), "provider": draw(texts), "platform": draw(texts),
                            "card": {"CodingAgentCard": card}})


agents = react_agents | coding_agents()
call_ids = st.none() | texts
op_types = st.sampled_from([FileOpType.READ, FileOpType.WRITE, FileOpType.EDIT, FileOpType.DELETE])
roles = st.sampled_from([PromptRole.USER, PromptRole.SYSTEM, PromptRole.ASSISTANT])

payloads = st.one_of(
    st.builds(lambda t, a, c: ToolCall(t, a, call_id=c), texts, json_values, call_ids),
    st.builds(lambda c, w, i: ShellCommand(c, working_dir=w, call_id=i), texts, optional_texts, call_ids),
    st.builds(lambda u, p, i: WebFetch(u, p, call_id=i), texts, texts, call_ids),
    st.builds(lambda o, p, c, old, i: FileOperation(o, p, content=c, old_content=old, call_id=i),
              op_types, texts, optional_texts, optional_texts, call_ids),
    st.builds(Prompt, texts, roles),
    st.builds(Thought, texts),
    st.builds(lambda c, s, o, e: ToolOutput(c, s, o, error=e), texts, st.booleans(), json_values, optional_texts),
    st.builds(ShellCommandOutput, texts, i32, texts, texts),
    st.builds(WebFetchOutput, texts, texts, i32, texts),
    st.builds(lambda c, s, content, e: FileOperationResult(c, s, content=content, error=e),
              texts, st.booleans(), optional_texts, optional_texts),
    st.builds(lambda a, t: Started(a, task=t), agents, optional_texts),
    st.builds(lambda s: Completed(summary=s), optional_texts),
    st.builds(Failed, texts),
    st.builds(Terminated, texts, texts),
    st.builds(Suspended, texts),
    st.builds(Resumed, texts),
    st.builds(lambda d, m, r, s: Adjudicated(d, mode=m, reason=r, steering=s),
              st.sampled_from([Decision.ALLOW, Decision.DENY, Decision.ESCALATE]),
              st.sampled_from([Mode.MONITOR, Mode.GOVERN, Mode.STEER]), optional_texts,
              st.none() | st.builds(lambda i, e: Steering(instructions=i, explanation=e), st.lists(texts, max_size=2),
                                    texts)),
    st.builds(lambda w, b, f, v, i: Snapshot(working_dir=w, git_branch=b, open_files=f, variables=v, snapshot_id=i),
              optional_texts, optional_texts, st.lists(texts, max_size=3),
              st.dictionaries(texts, json_values, max_size=4), st.none() | texts),
)


@st.composite
def timestamps(draw):
    year = draw(st.integers(0, 9999))
    month = draw(st.integers(1, 12))
    day = draw(st.integers(1, 28))
    hour, minute = draw(st.integers(0, 23)), draw(st.integers(0, 59))
    second = draw(st.integers(0, 59))
    fraction = draw(st.sampled_from(["", ".5", ".123", ".000001", ".123456789", ".1234567891234"]))
    offset = draw(st.sampled_from(["Z", "z", "+00:00", "-05:30", "+14:00", " UTC"]))
    separator = draw(st.sampled_from(["T", "t", " "]))
    return f"{year:04d}-{month:02d}-{day:02d}{separator}{hour:02d}:{minute:02d}:{second:02d}{fraction}{offset}"


provider_call_ids = st.none() | st.text(alphabet=string.ascii_letters + " -", min_size=1, max_size=20).filter(str.strip)
actors = st.none() | st.builds(Actor, texts, st.sampled_from([ActorType.HUMAN, ActorType.AGENT, ActorType.SYSTEM,
                                                              ActorType.POLICY]))
causalities = st.none() | st.builds(lambda c, a, p: Causality(correlation_id=c, causation_id=a, parent_id=p),
                                    texts, optional_texts, optional_texts)
executions = st.none() | st.builds(lambda n, p: ExecutionAttribution(agent_name=n, agent_path=p),
                                   texts, st.lists(texts, max_size=3))

events = st.builds(
    lambda agent, trajectory, payload, actor, causality, execution, call_id, event_id, timestamp: Event(
        agent, trajectory, payload, actor=actor, causality=causality, execution=execution,
        provider_call_id=call_id, event_id=event_id, timestamp=timestamp),
    agents, texts, payloads, actors, causalities, executions, provider_call_ids, st.none() | texts,
    st.none() | timestamps())

PROPERTY_SETTINGS = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@PROPERTY_SETTINGS
@given(events)
def test_event_forms_round_trip(event):
    assert Event.from_json(event.to_json()) == event
    assert Event.from_dict(event.to_dict()) == event
    assert type(event.event).from_dict(event.event.to_dict()) == event.event


SCAN_RESULTS = {
    "Message": {"explanation": "x", "message_type": "tool_call", "intent": "verify", "description": "d",
                "is_side_effecting": True, "confidence": 0.25, "embedding": [0.5, -1.0]},
    "TranscriptDigest": {"trajectory_id": "t", "title": "x", "summary": "s", "total_events": 3,
                         "side_effecting_count": 1, "phases": [], "interim": True},
    "TranscriptScan": {"explanation": "x", "outcome": "success", "outcome_description": "o",
                       "aggregate_severity": "low", "adjudication_summary": "a", "confidence": 1.0},
}


@PROPERTY_SETTINGS
@given(events, st.sampled_from(sorted(SCAN_RESULTS)), texts, st.booleans())
def test_scanned_events_round_trip(event, scan_type, source, payload_first):
    data = event.to_dict()
    scanned = {"scan_type": scan_type, "data": {"source_event_id": source, "result": SCAN_RESULTS[scan_type]}}
    inner = {"type": "Scanned", "data": scanned}
    data["event"] = {"payload": inner, "category": "Control"} if payload_first else {"category": "Control",
                                                                                     "payload": inner}
    decoded = Event.from_dict(data)
    assert isinstance(decoded.event, Scanned) and decoded.event_type == "scanned"
    assert Event.from_json(decoded.to_json()) == decoded
    assert Event.from_dict(decoded.to_dict()) == decoded
