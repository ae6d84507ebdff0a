"""Adjudicated: the verdict on one step, its factories, dict form and the
deny texts."""
import pytest

from tavimor_revizer_client import (
    Adjudicated,
    Decision,
    GuardrailResults,
    IfcGuardrailResult,
    Mode,
    PolicyMetadata,
    Steering,
)


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


def full_result():
    return Adjudicated(
        Decision.DENY,
        mode=Mode.STEER,
        reason="Blocked by policy",
        metadata=[PolicyMetadata(policy_id="no-rm", description="Never delete data",
                                 metadata={"team": "infra", "owner": "sec"})],
        guardrails=GuardrailResults(ifc=IfcGuardrailResult("restricted")),
        steering=Steering(instructions=["List the targets first", "  "], explanation="Use a dry run first"),
    )


class TestShape:
    def test_signature_and_docs(self):
        assert Adjudicated.__text_signature__ == (
            "(decision, *, mode=None, reason=None, metadata=None, guardrails=None, steering=None)")
        assert Adjudicated.__doc__ == "Policy evaluation result (control event)."
        for name, doc in [("allow", "Create an allow decision."), ("deny", "Create a deny decision."),
                          ("escalate", "Create an escalate decision.")]:
            factory = getattr(Adjudicated, name)
            assert factory.__text_signature__ == "()"
            assert factory.__doc__ == doc
        assert Adjudicated.format_policy_context.__doc__ == "Format policy metadata into a structured context string."
        assert Adjudicated.format_policy_context.__text_signature__ == "($self)"
        assert Adjudicated.deny_message.__doc__ == "Build a deny message with policy context appended."
        assert Adjudicated.deny_message.__text_signature__ == "($self, default_reason)"


class TestConstruction:
    def test_decision_alone(self):
        a = Adjudicated(Decision.DENY)
        assert a.decision is Decision.DENY
        assert a.mode is Mode.MONITOR
        assert (a.reason, a.metadata, a.guardrails, a.steering, a.policy_sources) == (None, [], None, None, [])
        assert a == Adjudicated.deny()
        assert Adjudicated(decision=Decision.DENY, mode=None, reason=None, metadata=None, guardrails=None,
                           steering=None) == a

    @pytest.mark.parametrize("factory, decision", [(Adjudicated.allow, Decision.ALLOW), (Adjudicated.deny, Decision.DENY),
                                                   (Adjudicated.escalate, Decision.ESCALATE)])
    def test_factories(self, factory, decision):
        a = factory()
        assert type(a) is Adjudicated
        assert a.decision is decision and a.mode is Mode.MONITOR
        assert a == Adjudicated(decision)

    def test_enumeration_properties_are_the_shared_members(self):
        a = Adjudicated(Decision("ESCALATE"), mode=Mode("Govern"))
        assert a.decision is Decision.ESCALATE
        assert a.mode is Mode.GOVERN

    def test_full_result_properties(self):
        a = full_result()
        assert a.reason == "Blocked by policy"
        assert a.metadata == [PolicyMetadata(policy_id="no-rm", description="Never delete data",
                                             metadata={"owner": "sec", "team": "infra"})]
        assert a.guardrails == GuardrailResults(ifc=IfcGuardrailResult("restricted"))
        assert a.steering == Steering(instructions=["List the targets first", "  "], explanation="Use a dry run first")
        assert a.policy_sources == []

    def test_metadata_from_any_sequence_and_fresh_copies(self):
        p = PolicyMetadata(policy_id="p")
        a = Adjudicated(Decision.ALLOW, metadata=(p, p))
        first = a.metadata
        assert first == [p, p]
        assert first is not a.metadata
        first.clear()
        assert len(a.metadata) == 2
        assert a.steering is None and a.guardrails is None

    @pytest.mark.parametrize(
        "args, kwargs, message, argument",
        [
            (("allow",), {}, "'str' object is not an instance of 'Decision'", "decision"),
            ((0,), {}, "'int' object is not an instance of 'Decision'", "decision"),
            ((Mode.MONITOR,), {}, "'Mode' object is not an instance of 'Decision'", "decision"),
            ((Decision.ALLOW,), {"mode": "steer"}, "'str' object is not an instance of 'Mode'", "mode"),
            ((Decision.ALLOW,), {"reason": 1}, "'int' object is not an instance of 'str'", "reason"),
            ((Decision.ALLOW,), {"metadata": "abc"}, "Can't extract `str` to `Vec`", "metadata"),
            ((Decision.ALLOW,), {"metadata": 1}, "'int' object is not an instance of 'Sequence'", "metadata"),
            ((Decision.ALLOW,), {"metadata": [1]}, "'int' object is not an instance of 'PolicyMetadata'", "metadata"),
            ((Decision.ALLOW,), {"guardrails": {}}, "'dict' object is not an instance of 'GuardrailResults'", "guardrails"),
            ((Decision.ALLOW,), {"steering": Steering}, "'type' object is not an instance of 'Steering'", "steering"),
        ],
    )
    def test_argument_errors(self, args, kwargs, message, argument):
        with pytest.raises(TypeError) as exc_info:
            Adjudicated(*args, **kwargs)
        assert str(exc_info.value) == message
        assert notes(exc_info) == [f"while processing '{argument}'"]

    def test_binding_errors(self):
        with pytest.raises(TypeError) as exc_info:
            Adjudicated()
        assert str(exc_info.value) == "Adjudicated.__new__() missing 1 required positional argument: 'decision'"
        with pytest.raises(TypeError) as exc_info:
            Adjudicated(Decision.ALLOW, Mode.STEER)
        assert str(exc_info.value) == "Adjudicated.__new__() takes 1 positional arguments but 2 were given"
        with pytest.raises(TypeError) as exc_info:
            Adjudicated.allow(1)
        assert str(exc_info.value) == "Adjudicated.allow() takes no arguments (1 given)"


class TestReprAndEquality:
    @pytest.mark.parametrize(
        "obj, text",
        [
            (Adjudicated.escalate(), "Adjudicated(decision=Decision.ESCALATE, mode=Mode.MONITOR)"),
            (Adjudicated.deny(), "Adjudicated(decision=Decision.DENY, mode=Mode.MONITOR)"),
            (full_result(), "Adjudicated(decision=Decision.DENY, mode=Mode.STEER)"),
        ],
    )
    def test_repr(self, obj, text):
        assert repr(obj) == text and str(obj) == text

    @pytest.mark.parametrize(
        "kwargs",
        [
            {"mode": Mode.GOVERN},
            {"reason": ""},
            {"metadata": [PolicyMetadata()]},
            {"guardrails": GuardrailResults()},
            {"steering": Steering()},
        ],
    )
    def test_every_field_counts(self, kwargs):
        assert Adjudicated(Decision.ALLOW, **kwargs) != Adjudicated.allow()
        assert Adjudicated(Decision.ALLOW, **kwargs) == Adjudicated(Decision.ALLOW, **kwargs)

    def test_other_operands(self):
        a = Adjudicated.allow()
        assert (a == "allow") is False and (a != Decision.ALLOW) is True
        with pytest.raises(TypeError):
            a < a
        with pytest.raises(TypeError):
            hash(a)


class TestDict:
    def test_decision_only(self):
        data = Adjudicated.deny().to_dict()
        assert data == {"decision": "Deny", "mode": "monitor"}
        assert Adjudicated.from_dict({"decision": "Allow"}) == Adjudicated.allow()

    def test_full_round_trip(self):
        a = full_result()
        data = a.to_dict()
        assert list(data) == ["decision", "mode", "reason", "metadata", "guardrails", "steering"]
        assert data["decision"] == "Deny" and data["mode"] == "steer"
        assert data["guardrails"] == {"ifc": {"label": "restricted"}}
        assert data["steering"] == {"instructions": ["List the targets first", "  "], "explanation": "Use a dry run first"}
        assert Adjudicated.from_dict(data) == a

    def test_decoded_results_keep_policy_sources(self):
        data = {"decision": "Allow", "mode": "govern", "policy_sources": [{"name": "s", "labels": {"b": "", "a": ""}}]}
        a = Adjudicated.from_dict(data)
        assert a.policy_sources[0].name == "s"
        again = a.to_dict()
        assert again == data and list(again["policy_sources"][0]["labels"]) == ["a", "b"]
        assert Adjudicated.from_dict(again) == a

    def test_empty_parts_are_written(self):
        a = Adjudicated(Decision.ALLOW, guardrails=GuardrailResults(), steering=Steering())
        assert a.to_dict() == {"decision": "Allow", "mode": "monitor", "guardrails": {},
                               "steering": {"instructions": [], "explanation": ""}}
        assert Adjudicated.from_dict(a.to_dict()) == a

    @pytest.mark.parametrize(
        "data, message",
        [
            ({}, "missing field `decision`"),
            ({"Decision": "Allow"}, "missing field `decision`"),
            ({"decision": "allow"}, "unknown variant `allow`, expected one of `Allow`, `Deny`, `Escalate`"),
            ({"decision": "Allow", "mode": "Monitor"}, "unknown variant `Monitor`, expected one of `monitor`, `govern`, `steer`"),
            ({"decision": "Allow", "mode": None}, "invalid type: null, expected string or map"),
            ({"decision": {"Escalate": 1}}, "invalid type: integer `1`, expected unit"),
            ({"decision": {"Escalate": {}}}, "invalid type: map, expected unit"),
            ({"decision": {}}, "invalid value: map, expected map with a single key"),
            ({"decision": 0}, "invalid type: integer `0`, expected string or map"),
            ({"decision": Decision.ALLOW}, "unknown variant `allow`, expected one of `Allow`, `Deny`, `Escalate`"),
            ({"decision": "Allow", "metadata": None}, "invalid type: null, expected a sequence"),
            ({"decision": "Allow", "policy_sources": [{"labels": {}}]}, "missing field `name`"),
            ({"decision": "Allow", "steering": {"instructions": []}}, "missing field `explanation`"),
            (["Deny"], "invalid length 2, expected struct Adjudicated with 7 elements"),
            (["Deny", "steer", None, [], None], "invalid length 5, expected struct Adjudicated with 7 elements"),
            (["Deny", "steer", None, [], None, None, [], None], "invalid length 8, expected fewer elements in array"),
            ("Allow", 'invalid type: string "Allow", expected struct Adjudicated'),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            Adjudicated.from_dict(data)
        assert str(exc_info.value) == message

    def test_array_form(self):
        assert Adjudicated.from_dict(["Deny", "steer", None, [], None, None]) == Adjudicated(Decision.DENY, mode=Mode.STEER)
        assert Adjudicated.from_dict({"decision": {"Escalate": None}}) == Adjudicated.escalate()


def policy(**kwargs):
    return PolicyMetadata(**kwargs)


class TestPolicyContext:
    @pytest.mark.parametrize(
        "metadata, text",
        [
            ([], None),
            ([policy()], None),
            ([policy(description="")], None),
            ([policy(policy_id="p")], "[Policy: p]"),
            ([policy(policy_id="p", description="")], "[Policy: p] "),
            ([policy(policy_id="p", description="d")], "[Policy: p] d"),
            ([policy(description="d")], "d"),
            ([policy(metadata={"k": "v"})], "  k: v"),
            ([policy(description="", metadata={"k": "v"})], "\n  k: v"),
            ([policy(metadata={"b": "1", "B": "2", "a": "3", "ab": "4"})], "  B: 2\n  a: 3\n  ab: 4\n  b: 1"),
            ([policy(policy_id="p1"), policy(policy_id="p2")], "[Policy: p1]\n[Policy: p2]"),
            ([policy(policy_id="p", escalate=True, escalate_arg="human")], "[Policy: p]"),
        ],
    )
    def test_format_policy_context(self, metadata, text):
        assert Adjudicated(Decision.DENY, metadata=metadata).format_policy_context() == text


class TestDenyMessage:
    def test_reason_or_default(self):
        assert Adjudicated.deny().deny_message("Denied") == "Denied"
        assert Adjudicated(Decision.DENY, reason="").deny_message("Denied") == ""
        assert Adjudicated(Decision.DENY, reason="r").deny_message(default_reason="Denied") == "r"

    def test_all_parts(self):
        assert full_result().deny_message("Denied") == (
            "Blocked by policy\n\n[Policy: no-rm] Never delete data\n  owner: sec\n  team: infra\n\n"
            "[Steering guidance]\nUse a dry run first\n- List the targets first")

    @pytest.mark.parametrize(
        "steering, message",
        [
            (Steering(explanation="   ", instructions=["", "\t"]), "r"),
            (Steering(explanation="", instructions=["a"]), "r\n\n[Steering guidance]\n- a"),
            (Steering(explanation="\u3000", instructions=["\u2029"]), "r"),
        ],
    )
    def test_steering_block(self, steering, message):
        assert Adjudicated(Decision.DENY, reason="r", steering=steering).deny_message("Denied") == message

    @pytest.mark.parametrize("value, text", [(None, "'None' is not an instance of 'str'"),
                                             (1, "'int' object is not an instance of 'str'")])
    def test_default_reason_must_be_a_str(self, value, text):
        with pytest.raises(TypeError) as exc_info:
            Adjudicated(Decision.DENY, reason="r").deny_message(value)
        assert str(exc_info.value) == text
        assert notes(exc_info) == ["while processing 'default_reason'"]
        with pytest.raises(TypeError) as exc_info:
            Adjudicated.deny().deny_message()
        assert str(exc_info.value) == "Adjudicated.deny_message() missing 1 required positional argument: 'default_reason'"
