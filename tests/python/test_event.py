"""Event and Started: construction with defaults and checks, properties, reprs,
equality, the dict and JSON forms (normalisation on the way in, asset content
stripped on the way out)."""
import datetime
import json
import re

import pytest

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
    EventScanResult,
    ExecutionAttribution,
    Failed,
    FileOperation,
    FileOperationResult,
    FileOpType,
    Prompt,
    PromptRole,
    ReActAgentCard,
    Resumed,
    Scanned,
    ShellCommand,
    ShellCommandOutput,
    Snapshot,
    Started,
    Suspended,
    Terminated,
    Thought,
    ToolCall,
    ToolOutput,
    WebFetch,
    WebFetchOutput,
)

UUID = "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"
PAYLOAD_ERROR = (
    "event must be one of: ToolCall, ShellCommand, WebFetch, FileOperation, Prompt, Thought, ToolOutput, "
    "ShellCommandOutput, WebFetchOutput, FileOperationResult, Started, Completed, Failed, Terminated, Suspended, "
    "Resumed, Adjudicated, Snapshot"
)
UNNORMALIZED = (
    "E_UNNORMALIZED_TRAJECTORY_EVENT: event payload must be a normalized trajectory event envelope. Upgrade the "
    "Tavimor revizer client and map provider hook data into typed event fields. payload must be a JSON object "
    "event envelope."
)
ASSET = {"scope": "project", "kind": "instructions", "name": "AGENTS.md", "path": "/w/AGENTS.md",
         "content_sha256": "ab12", "content_media_type": "text/markdown", "content": "# rules",
         "content_size_bytes": 7, "content_truncated": False}


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


def coding_agent(assets=(ASSET,)):
    card = {
        "metadata": {"schema_version": "1", "hook_version": "2"},
        "workspace_root": "/w",
        "execution_mode": "default",
        "capabilities": {"tools": [], "hook_commands": [], "slash_commands": [], "named_agents": [], "skills": []},
        "assets": list(assets),
        "settings": [],
    }
    return Agent.from_dict({"id": "a1", "provider": "anthropic", "platform": "cli", "card": {"CodingAgentCard": card}})


AGENT = Agent("a1", "openai", platform="web", card=AgentCard.react(ReActAgentCard(model="gpt")))


def payloads():
    """One payload of each of the 18 classes the constructor takes, with its names."""
    return [
        (ToolCall("search", {"q": [1, 2.5, None]}, call_id="c"), "action", "tool_call"),
        (ShellCommand("ls", working_dir="/w", call_id="c"), "action", "shell_command"),
        (WebFetch("https://x", "p", call_id="c"), "action", "web_fetch"),
        (FileOperation(FileOpType.EDIT, "p", content="n", old_content="o", call_id="c"), "action", "file_operation"),
        (Prompt("hi", PromptRole.USER), "observation", "prompt"),
        (Thought("hmm"), "observation", "thought"),
        (ToolOutput("c", False, None, error="e"), "observation", "tool_output"),
        (ShellCommandOutput("c", 2, "o", "e"), "observation", "shell_command_output"),
        (WebFetchOutput("c", "u", 200, "r"), "observation", "web_fetch_output"),
        (FileOperationResult("c", True, content="x"), "observation", "file_operation_result"),
        (Started(AGENT, task="t"), "control", "started"),
        (Completed(summary="s"), "control", "completed"),
        (Failed("r"), "control", "failed"),
        (Terminated("r", "u"), "control", "terminated"),
        (Suspended("r"), "control", "suspended"),
        (Resumed("u"), "control", "resumed"),
        (Adjudicated(Decision.DENY, reason="no"), "control", "adjudicated"),
        (Snapshot(variables={"k": 1}, snapshot_id="s"), "state", "snapshot"),
    ]


def fixed(payload, **kwargs):
    """An event with every generated value given, so equal arguments give equal events."""
    args = {"event_id": "e1", "timestamp": "2025-03-01T12:00:00.25Z", "causality": Causality(correlation_id="corr")}
    return Event(AGENT, "t1", payload, **{**args, **kwargs})


class TestConstruction:
    def test_class_shape(self):
        assert Event.__text_signature__ == (
            "(agent, trajectory_id, event, *, actor=None, causality=None, execution=None, provider_call_id=None, "
            "event_id=None, timestamp=None, raw=None)")
        assert Event.__doc__ == "Event envelope wrapping a trajectory event with metadata."
        assert Started.__text_signature__ == "(agent, *, task=None)" and Started.__doc__ == "Agent started."
        names = [n for n, v in vars(Event).items() if type(v).__name__ == "getset_descriptor"]
        assert names == ["event_id", "trajectory_id", "agent", "timestamp", "event", "category", "event_type",
                         "actor", "causality", "execution", "provider_call_id"]
        assert Event.event.__doc__ == "The concrete event payload (ToolCall, Prompt, Started, etc.)."
        assert Event.category.__doc__ == 'Event category: "action", "observation", "control", or "state".'
        assert Event.event_type.__doc__ == 'Specific event type name, e.g. "tool_call", "prompt", "started".'
        for method, signature in [(Event.to_dict, "($self)"), (Event.to_json, "($self)"),
                                  (Event.from_dict, "(data)"), (Event.from_json, "(json_str)")]:
            assert method.__text_signature__ == signature

    def test_defaults(self):
        before = datetime.datetime.now(datetime.timezone.utc)
        event = Event(AGENT, "t1", ToolCall("search", {}))
        after = datetime.datetime.now(datetime.timezone.utc)
        assert re.fullmatch("evt-" + UUID, event.event_id)
        assert event.trajectory_id == "t1"
        assert event.actor == Actor("a1", ActorType.AGENT)
        assert event.actor.actor_type is ActorType.AGENT
        assert re.fullmatch("corr-" + UUID, event.causality.correlation_id)
        assert (event.causality.causation_id, event.causality.parent_id) == (None, None)
        assert (event.provider_call_id, event.execution) == (None, None)
        assert event.timestamp.endswith("+00:00")
        stamp = datetime.datetime.fromisoformat(event.timestamp)
        assert before - datetime.timedelta(seconds=1) <= stamp <= after + datetime.timedelta(seconds=1)
        assert event.agent == AGENT
        other = Event(AGENT, "t1", ToolCall("search", {}))
        assert other.event_id != event.event_id and other.causality != event.causality

    def test_given_context_replaces_defaults(self):
        execution = ExecutionAttribution(agent_name="sub", agent_path=["root"])
        event = fixed(Thought("x"), actor=Actor.human("u"), execution=execution, provider_call_id="  p  ",
                      event_id="")
        assert event.actor == Actor.human("u")
        assert event.causality == Causality(correlation_id="corr")
        assert event.execution == execution
        assert event.provider_call_id == "  p  "
        assert event.event_id == ""

    @pytest.mark.parametrize("payload, category, event_type", payloads(), ids=lambda p: getattr(p, "__name__", None))
    def test_every_payload_class_and_its_names(self, payload, category, event_type):
        event = fixed(payload)
        assert event.event == payload and type(event.event) is type(payload)
        assert event.event is not event.event
        assert (event.category, event.event_type) == (category, event_type)
        assert repr(event) == f'Event(event_id="e1", category="{category}", event_type="{event_type}")'

    @pytest.mark.parametrize("payload", [Scanned("evt-1", {"explanation": "x", "message_type": "reasoning",
                                                            "intent": "plan", "description": "d", "confidence": 0.5, "is_side_effecting": False}),
                                         {"call_id": "c"}, "ToolCall", None, AGENT])
    def test_other_payloads_are_refused(self, payload):
        with pytest.raises(TypeError) as exc_info:
            Event(AGENT, "t", payload)
        assert str(exc_info.value) == PAYLOAD_ERROR and len(PAYLOAD_ERROR) == 238

    @pytest.mark.parametrize(
        "value, reason",
        [("", "empty"), (" \t", "whitespace_only"), ("\u3000", "whitespace_only"), ("a\x00b", "contains_nul"),
         ("x" * 257, "too_long"), ("\u2713" * 100, "too_long")],
    )
    def test_provider_call_id_screen(self, value, reason):
        with pytest.raises(ValueError) as exc_info:
            fixed(Thought("x"), provider_call_id=value)
        assert str(exc_info.value) == f"Invalid provider_call_id: {reason}"
        assert fixed(Thought("x"), provider_call_id="x" * 256).provider_call_id == "x" * 256

    @pytest.mark.parametrize(
        "text, message",
        [("2024-05-01T08:00:00", "premature end of input"), ("2024-05-01T08:00:00+02", "premature end of input"),
         ("2024-05-01T08:00:00Zx", "trailing input"), ("2024-13-01T00:00:00Z", "input is out of range"),
         ("2024-05-01X08:00:00Z", "input contains invalid characters")],
    )
    def test_timestamp_errors(self, text, message):
        with pytest.raises(ValueError) as exc_info:
            fixed(Thought("x"), timestamp=text)
        assert str(exc_info.value) == f"Invalid timestamp: {message}"

    @pytest.mark.parametrize(
        "given, shown, written",
        [("2024-05-01T10:00:00+02:00", "2024-05-01T08:00:00+00:00", "2024-05-01T08:00:00Z"),
         ("2024-05-01 08:00:00utc", "2024-05-01T08:00:00+00:00", "2024-05-01T08:00:00Z"),
         ("2024-05-01t08:00:00.5z", "2024-05-01T08:00:00.500+00:00", "2024-05-01T08:00:00.500Z"),
         ("2024-05-01T08:00:00.000001Z", "2024-05-01T08:00:00.000001+00:00", "2024-05-01T08:00:00.000001Z"),
         ("2024-05-01T08:00:00.123456789Z", "2024-05-01T08:00:00.123456789+00:00", "2024-05-01T08:00:00.123456789Z"),
         ("2024-05-01T08:00:00.000000000Z", "2024-05-01T08:00:00+00:00", "2024-05-01T08:00:00Z"),
         ("2016-12-31T23:59:60Z", "2016-12-31T23:59:60+00:00", "2016-12-31T23:59:60Z"),
         ("+10000-01-01T00:00:00Z", "+10000-01-01T00:00:00+00:00", "+10000-01-01T00:00:00Z"),
         # The longest texts, at either end of the range.
         ("-262143-01-01T00:00:00.000000001Z", "-262143-01-01T00:00:00.000000001+00:00",
          "-262143-01-01T00:00:00.000000001Z"),
         ("+262142-12-31T23:59:59.999999999Z", "+262142-12-31T23:59:59.999999999+00:00",
          "+262142-12-31T23:59:59.999999999Z")],
    )
    def test_timestamp_texts(self, given, shown, written):
        event = fixed(Thought("x"), timestamp=given)
        assert event.timestamp == shown
        assert event.to_dict()["timestamp"] == written
        assert Event.from_json(event.to_json()) == event

    def test_errors_come_in_step_order(self):
        with pytest.raises(TypeError) as exc_info:
            Event(AGENT, "t", "x", provider_call_id="", timestamp="bad")
        assert str(exc_info.value) == PAYLOAD_ERROR
        with pytest.raises(ValueError, match="provider_call_id"):
            Event(AGENT, "t", Thought("x"), provider_call_id="", timestamp="bad")

    @pytest.mark.parametrize(
        "kwargs, argument",
        [({"agent": "a"}, "agent"), ({"agent": None}, "agent"), ({"trajectory_id": 1}, "trajectory_id"),
         ({"actor": "u"}, "actor"), ({"causality": {}}, "causality"), ({"execution": "e"}, "execution"),
         ({"provider_call_id": 1}, "provider_call_id"), ({"event_id": 1}, "event_id"),
         ({"timestamp": 1}, "timestamp")],
    )
    def test_binding_errors_name_the_argument(self, kwargs, argument):
        args = {"agent": AGENT, "trajectory_id": "t", "event": Thought("x"), **kwargs}
        with pytest.raises(TypeError) as exc_info:
            Event(**args)
        assert notes(exc_info) == [f"while processing '{argument}'"]

    def test_raw_is_accepted_and_dropped(self):
        assert fixed(Thought("x"), raw={"anything": 1}) == fixed(Thought("x"))
        assert fixed(Thought("x"), raw=object()) == fixed(Thought("x"))

    def test_started_copies_its_agent(self):
        started = Started(AGENT, task="t")
        assert started.agent == AGENT and started.agent is not started.agent
        assert repr(started) == 'Started(agent_id="a1")'
        with pytest.raises(TypeError) as exc_info:
            Started({"id": "a1"})
        assert notes(exc_info) == ["while processing 'agent'"]


class TestEquality:
    def test_all_fields_take_part(self):
        base = fixed(Thought("x"))
        assert base == fixed(Thought("x"))
        for other in [fixed(Thought("y")), fixed(Failed("x")), fixed(Thought("x"), event_id="e2"),
                      fixed(Thought("x"), timestamp="2025-03-01T12:00:00.250000001Z"),
                      fixed(Thought("x"), actor=Actor.system("a1")), fixed(Thought("x"), provider_call_id="p"),
                      fixed(Thought("x"), execution=ExecutionAttribution(agent_name="a")),
                      Event(Agent("a1", "openai"), "t1", Thought("x"), event_id="e1",
                            timestamp="2025-03-01T12:00:00.25Z", causality=Causality(correlation_id="corr"))]:
            assert base != other and not (base == other)
        assert fixed(Failed("r")) != fixed(Suspended("r"))
        assert base != "x"
        with pytest.raises(TypeError):
            hash(base)
        with pytest.raises(TypeError):
            base < base


class TestForms:
    @pytest.mark.parametrize("payload", [p for p, _, _ in payloads()], ids=lambda p: type(p).__name__)
    def test_round_trips_of_every_payload_kind(self, payload):
        event = fixed(payload, provider_call_id="p", execution=ExecutionAttribution(agent_name="a"))
        assert Event.from_dict(event.to_dict()) == event
        assert Event.from_json(event.to_json()) == event
        assert json.loads(event.to_json()) == event.to_dict()

    def test_scanned_only_by_decoding(self):
        result = {"explanation": "x", "message_type": "reasoning", "intent": "plan", "description": "d", "is_side_effecting": False,
                  "confidence": 0.5}
        data = fixed(Thought("x")).to_dict()
        data["event"] = {"category": "Control",
                         "payload": {"type": "Scanned", "data": Scanned("evt-1", result).to_dict()}}
        event = Event.from_dict(data)
        assert (event.category, event.event_type) == ("control", "scanned")
        assert event.event == Scanned("evt-1", result)
        assert Event.from_json(event.to_json()) == event

    def test_dict_form_keys_in_order(self):
        data = fixed(Thought("x")).to_dict()
        assert list(data) == ["event_id", "trajectory_id", "agent", "timestamp", "event", "actor", "causality"]
        assert data["event"] == {"category": "Observation", "payload": {"type": "Thought", "data": {"thought": "x"}}}
        assert data["causality"] == {"correlation_id": "corr", "causation_id": None, "parent_id": None}
        full = fixed(Thought("x"), provider_call_id="p", execution=ExecutionAttribution(agent_name="a")).to_dict()
        assert list(full)[-2:] == ["provider_call_id", "execution"]
        assert full["execution"] == {"agent_name": "a"}
        # Decoding validates no identifier: an empty provider call id stays present.
        full["provider_call_id"] = ""
        assert Event.from_dict(full).provider_call_id == ""
        assert Event.from_dict(full).to_dict() == full

    def test_json_text_is_compact_and_escaped(self):
        text = fixed(ToolCall("t", {"s": "a\"\\\n\t\x01\x7f/é😀", "f": 0.1, "i": -3}, call_id="c")).to_json()
        assert '"s":"a\\"\\\\\\n\\t\\u0001\x7f/é😀"' in text
        assert '"f":0.1' in text and '"i":-3' in text
        outside_strings = re.sub(r'"(?:[^"\\]|\\.)*"', '""', text)
        assert " " not in outside_strings

    def test_json_text_of_a_huge_event_then_a_small_one(self):
        # The text buffer grows for the huge event and is let go afterwards;
        # neither text may show anything of the other.
        huge = fixed(ToolCall("t", {"s": "x\n" * 700_000, "l": list(range(50_000))}, call_id="c"))
        small = fixed(Thought("short"))
        for _ in range(2):
            assert Event.from_json(huge.to_json()) == huge
            assert Event.from_json(small.to_json()) == small
            assert small.to_json() == json.dumps(small.to_dict(), ensure_ascii=False, separators=(",", ":"))

    def test_asset_content_stripped_in_the_events_forms_only(self):
        agent = coding_agent()
        arguments = {"nested": dict(ASSET)}
        event = Event(agent, "t", ToolCall("read", arguments, call_id="c"), event_id="e", timestamp="2025-01-01T00:00:00Z",
                      causality=Causality(correlation_id="c"))
        for form in (event.to_dict(), json.loads(event.to_json())):
            asset = form["agent"]["card"]["CodingAgentCard"]["assets"][0]
            assert list(asset) == ["scope", "kind", "name", "path", "content_sha256"]
            nested = form["event"]["payload"]["data"]["arguments"]["nested"]
            assert list(nested) == ["scope", "kind", "name", "path", "content_sha256"]
        assert event.event.to_dict()["arguments"] == arguments  # the payload's own form keeps it
        assert event.agent == agent  # the record keeps it too
        assert Event.from_dict(event.to_dict()) != event
        plain = Event(coding_agent(assets=()), "t", Thought("x"), event_id="e", timestamp="2025-01-01T00:00:00Z",
                      causality=Causality(correlation_id="c"))
        assert Event.from_dict(plain.to_dict()) == plain

    def test_started_strips_its_agents_assets(self):
        started = Started(coding_agent(), task="t")
        asset = started.to_dict()["agent"]["card"]["CodingAgentCard"]["assets"][0]
        assert "content" not in asset and "content_media_type" not in asset
        assert started.agent == coding_agent()
        assert Started.from_dict(started.to_dict()) != started
        assert Started.from_dict(Started(AGENT).to_dict()) == Started(AGENT)

    def test_normalisation_of_raw_provider_data(self):
        data = coding_agent(assets=()).to_dict()
        del data["card"]["CodingAgentCard"]["workspace_root"]
        envelope = fixed(Thought("x")).to_dict()
        envelope["agent"] = data
        with pytest.raises(ValueError, match="^missing field `workspace_root`$"):
            Event.from_dict(envelope)
        envelope["raw"] = {"cwd": "/repo", "hook_event_name": " Stop ", "permission_mode": " ", "transcript_path": ""}
        for event in (Event.from_dict(envelope), Event.from_json(json.dumps(envelope))):
            card = event.agent.card.coding_card
            assert card.workspace_root == "/repo"
            assert card.normalized_context == {"codex.hook_event_name": "Stop", "codex.permission_mode": " "}
        assert "raw" in envelope  # the caller's dict is not changed

    @pytest.mark.parametrize(
        "data, message",
        [([], UNNORMALIZED), ("x", UNNORMALIZED), (None, UNNORMALIZED), ({"raw": {"cwd": "/w"}}, "missing field `event_id`"),
         ({"event_id": 5}, "invalid type: integer `5`, expected a string")],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            Event.from_dict(data)
        assert str(exc_info.value) == message

    def test_from_dict_needs_every_required_key(self):
        data = fixed(Thought("x")).to_dict()
        del data["actor"]
        with pytest.raises(ValueError, match="^missing field `actor`$"):
            Event.from_dict(data)

    @pytest.mark.parametrize(
        "text, message",
        [("{", "EOF while parsing an object at line 1 column 1"), ("[1, 2]", UNNORMALIZED),
         ('{"a": 1} x', "trailing characters at line 1 column 10"),
         ("[" * 128 + "]" * 128, "recursion limit exceeded at line 1 column 128")],
    )
    def test_from_json_errors(self, text, message):
        with pytest.raises(ValueError) as exc_info:
            Event.from_json(text)
        assert str(exc_info.value) == message

    def test_from_json_reads_repeated_keys_held_content_and_late_errors(self):
        event = fixed(Thought("x"))
        text = event.to_json()
        # A repeated key keeps its last value; content before its tag is held.
        assert Event.from_json(text[:-1] + ',"event_id":"evt-2"}').event_id == "evt-2"
        data = event.to_dict()
        payload = data["event"]["payload"]
        data["event"] = {"payload": {"data": payload["data"], "type": payload["type"]}, "category": "Observation"}
        assert Event.from_json(json.dumps(data)) == event
        # The whole text is checked, also after a complete event.
        with pytest.raises(ValueError) as exc_info:
            Event.from_json(text + " x")
        assert str(exc_info.value) == f"trailing characters at line 1 column {len(text) + 2}"
        with pytest.raises(ValueError) as exc_info:
            Event.from_json(text[:-1] + ',"extra":[1,]}')
        assert str(exc_info.value) == f"trailing comma at line 1 column {len(text) + 12}"

    def test_from_json_takes_only_str(self):
        with pytest.raises(TypeError) as exc_info:
            Event.from_json(b"{}")
        assert notes(exc_info) == ["while processing 'json_str'"]

    def test_a_stored_trajectory_reloads(self):
        trajectory = [fixed(p, event_id=f"e{i}") for i, (p, _, _) in enumerate(payloads())]
        text = "[" + ",".join(e.to_json() for e in trajectory) + "]"
        assert [Event.from_dict(d) for d in json.loads(text)] == trajectory


def test_minus_zero_in_json_text_is_the_integer_zero():
    # Only a fraction or an exponent makes a float: "-0" reads as 0 where an
    # integer is expected, "-0.0" stays a float and is refused there.
    event = fixed(ShellCommandOutput("c", 0, "", ""))
    text = event.to_json()
    assert '"exit_code":0' in text
    assert Event.from_json(text.replace('"exit_code":0', '"exit_code":-0')) == event
    with pytest.raises(ValueError, match=r"^invalid type: floating point `-0\.0`, expected i32$"):
        Event.from_json(text.replace('"exit_code":0', '"exit_code":-0.0'))
    decided = fixed(Adjudicated.from_dict({"decision": "Allow", "policy_sources": [{"name": "p", "version": -0}]}))
    assert decided.event.policy_sources[0].version == 0
    assert '"version":0' in decided.to_json()
