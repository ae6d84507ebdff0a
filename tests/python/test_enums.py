import gc
import weakref

import pytest

import tavimor_revizer_client as m

# name, doc line, members (attribute, value text) in index order, error text
ENUMS = [
    ("Decision", "Policy evaluation decision.",
     [("ALLOW", "allow"), ("DENY", "deny"), ("ESCALATE", "escalate")],
     "Invalid decision: '{}'. Must be 'allow', 'deny', or 'escalate'"),
    ("Mode", "Policy engine evaluation mode.",
     [("MONITOR", "monitor"), ("GOVERN", "govern"), ("STEER", "steer")],
     "Invalid mode: '{}'. Must be 'monitor', 'govern', or 'steer'"),
    ("ActorType", "Actor type in the trajectory.",
     [("HUMAN", "human"), ("AGENT", "agent"), ("SYSTEM", "system"), ("POLICY", "policy")],
     "Invalid actor type: '{}'. Must be 'human', 'agent', 'system', or 'policy'"),
    ("FileOpType", "File operation type.",
     [("READ", "read"), ("WRITE", "write"), ("EDIT", "edit"), ("DELETE", "delete")],
     "Invalid file op type: '{}'. Must be 'read', 'write', 'edit', or 'delete'"),
    ("PromptRole", "Prompt role.",
     [("USER", "user"), ("SYSTEM", "system"), ("ASSISTANT", "assistant")],
     "Invalid prompt role: '{}'. Must be 'user', 'system', or 'assistant'"),
    ("TrajectoryStatus", "Trajectory lifecycle status.",
     [("PENDING", "pending"), ("RUNNING", "running"), ("COMPLETED", "completed"), ("FAILED", "failed"),
      ("TERMINATED", "terminated"), ("SUSPENDED", "suspended")],
     "Invalid trajectory status: '{}'. Must be 'pending', 'running', 'completed', 'failed', 'terminated', "
     "or 'suspended'"),
    ("SignalFocus", "Whether a signal relates to the environment, the agent, or governance.",
     [("ENVIRONMENT", "environment"), ("AGENT", "agent"), ("GOVERNANCE", "governance")],
     "Invalid SignalFocus: '{}'. Must be 'environment', 'agent', or 'governance'"),
    ("SignalCategory", "Signal category taxonomy from the AISI Tables 2-3.",
     [(v.upper(), v) for v in [
         "input_issues", "infrastructure_failure", "task_design", "static_knowledge", "low_level_incoherence",
         "high_level_incoherence", "self_correction", "refusal_behaviour", "tool_misuse", "evaluation_awareness",
         "policy_violation", "privilege_escalation", "data_exfiltration", "destructive_operation",
         "credential_exposure"]],
     "Invalid SignalCategory: '{}'"),
    ("SignalSeverity", "Severity of a detected signal.",
     [("INFO", "info"), ("LOW", "low"), ("MEDIUM", "medium"), ("HIGH", "high"), ("CRITICAL", "critical")],
     "Invalid SignalSeverity: '{}'. Must be 'info', 'low', 'medium', 'high', or 'critical'"),
    ("MessageType", "Structural message type of a trajectory event.",
     [(v.upper(), v) for v in [
         "tool_call", "tool_result", "user_input", "reasoning", "lifecycle", "adjudication", "state_capture"]],
     "Invalid MessageType: '{}'"),
    ("AgentIntent", "Inferred intent or purpose of a trajectory event.",
     [(v.upper(), v) for v in [
         "investigate", "plan", "implement", "verify", "debug", "communicate", "lifecycle", "govern"]],
     "Invalid AgentIntent: '{}'"),
    ("TranscriptOutcome", "Outcome assessment of a trajectory transcript.",
     [("SUCCESS", "success"), ("PARTIAL", "partial"), ("FAILURE", "failure"), ("INTERRUPTED", "interrupted"),
      ("IN_PROGRESS", "in_progress")],
     "Invalid TranscriptOutcome: '{}'"),
]
ENUM_IDS = [e[0] for e in ENUMS]


@pytest.mark.parametrize("name, doc, members, error", ENUMS, ids=ENUM_IDS)
def test_class_shape(name, doc, members, error):
    cls = getattr(m, name)
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (name, name, "builtins")
    assert repr(cls) == f"<class 'builtins.{name}'>"
    assert cls.__text_signature__ == "(value)"
    assert cls.__doc__ == doc
    # the members are class attributes in index order
    assert [k for k in vars(cls) if k.isupper()] == [attr for attr, _ in members]


@pytest.mark.parametrize("name, doc, members, error", ENUMS, ids=ENUM_IDS)
def test_three_forms_of_every_member(name, doc, members, error):
    cls = getattr(m, name)
    for index, (attr, value) in enumerate(members):
        member = getattr(cls, attr)
        assert type(member) is cls
        assert (str(member), repr(member), int(member)) == (value, f"{name}.{attr}", index)
        assert member is getattr(cls, attr)
        for text in (value, value.upper(), value.title()):
            parsed = cls(text)
            assert parsed == member and parsed is not member
            assert cls(value=text) == member
        assert member == index and member != index + 1


@pytest.mark.parametrize("name, doc, members, error", ENUMS, ids=ENUM_IDS)
def test_unknown_text_raises_the_class_message_with_the_text_as_given(name, doc, members, error):
    cls = getattr(m, name)
    for text in ["", "  " + members[0][1], "Nope", members[0][1] + "-x"]:
        with pytest.raises(ValueError) as caught:
            cls(text)
        assert str(caught.value) == error.format(text)


def test_only_signal_category_maps_hyphens():
    assert m.SignalCategory("Refusal-Behaviour") == m.SignalCategory.REFUSAL_BEHAVIOUR
    assert str(m.SignalCategory("TOOL-MISUSE")) == "tool_misuse"
    with pytest.raises(ValueError, match=r"^Invalid TranscriptOutcome: 'in-progress'$"):
        m.TranscriptOutcome("in-progress")
    with pytest.raises(ValueError, match=r"^Invalid MessageType: 'tool-call'$"):
        m.MessageType("tool-call")


def test_parsing_uses_the_full_lower_case_mapping():
    # KELVIN SIGN lower-cases to an ASCII k
    assert m.SignalCategory("TAS\u212a_DESIGN") == m.SignalCategory.TASK_DESIGN
    # dotted capital I lower-cases to i + combining dot: no match, text kept as given
    with pytest.raises(ValueError) as caught:
        m.Mode("MON\u0130TOR")
    assert str(caught.value) == "Invalid mode: 'MON\u0130TOR'. Must be 'monitor', 'govern', or 'steer'"


@pytest.mark.parametrize("value, type_name", [(1, "int"), (None, None), (m.Decision.DENY, "Decision"),
                                              (b"deny", "bytes")])
def test_non_text_value_is_a_binding_type_error(value, type_name):
    with pytest.raises(TypeError) as caught:
        m.Decision(value)
    expected = ("'None' is not an instance of 'str'" if value is None
                else f"'{type_name}' object is not an instance of 'str'")
    assert str(caught.value) == expected
    assert caught.value.__notes__ == ["while processing 'value'"]


def test_str_subclass_is_accepted():
    class Text(str):
        pass

    assert m.Decision(Text("Deny")) == m.Decision.DENY


@pytest.mark.parametrize("left, right, equal", [
    (m.Decision.ALLOW, m.Decision("allow"), True),
    (m.Decision.ALLOW, m.Decision.DENY, False),
    (m.Decision.ALLOW, m.Mode.MONITOR, False),  # same index, other class
    (m.Decision.ALLOW, 0, True),
    (m.Decision.ALLOW, False, True),
    (m.Decision.DENY, True, True),
    (m.Decision.ALLOW, 0.0, False),
    (m.Decision.ALLOW, "allow", False),
    (m.Decision.ALLOW, None, False),
    (m.Decision.ALLOW, 2**70, False),
    (m.SignalCategory.CREDENTIAL_EXPOSURE, 14, True),
])
def test_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)
    assert (right == left) is equal


def test_index_conversion_is_used_for_other_operands():
    class Two:
        def __index__(self):
            return 2

    assert m.Decision.ESCALATE == Two()


@pytest.mark.parametrize("op", ["<", "<=", ">", ">="])
def test_ordering_is_refused(op):
    with pytest.raises(TypeError):
        eval(f"a {op} b", {"a": m.Decision.ALLOW, "b": m.Decision.DENY})


def test_members_are_unhashable_truthy_and_not_indexes():
    with pytest.raises(TypeError):
        hash(m.Decision.ALLOW)
    with pytest.raises(TypeError):
        {m.Decision.ALLOW}
    assert bool(m.Decision.ALLOW) is True and int(m.Decision.ALLOW) == 0
    with pytest.raises(TypeError):
        [1, 2][m.Decision.DENY]


def test_members_are_plain_untracked_objects():
    member = m.Mode.STEER
    assert not gc.is_tracked(member)
    with pytest.raises(AttributeError):
        member.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(member)


def test_class_attributes_can_be_rebound():
    original = m.Decision.ALLOW
    try:
        m.Decision.ALLOW = None
        assert m.Decision.ALLOW is None
        assert m.Decision("allow") == original
    finally:
        m.Decision.ALLOW = original
