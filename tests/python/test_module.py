import importlib
import sys

import tavimor_revizer_client as m


def test_doc_string():
    assert m.__doc__ == "Python module: `tavimor_revizer_client`"


def test_all_is_a_list_naming_existing_attributes():
    assert type(m.__all__) is list
    assert all(type(name) is str for name in m.__all__)
    assert len(set(m.__all__)) == len(m.__all__)
    for name in m.__all__:
        assert hasattr(m, name), name


def test_namespace_holds_only_registered_names():
    module_attributes = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__", "__all__"}
    assert set(vars(m)) - module_attributes == set(m.__all__)
    assert not hasattr(m, "__version__")
    assert not hasattr(m, "version")


def test_reimport_runs_the_step_again_with_the_same_classes():
    before = {name: getattr(m, name) for name in m.__all__}
    del sys.modules["tavimor_revizer_client"]
    try:
        again = importlib.import_module("tavimor_revizer_client")
        assert again is not m
        assert again.__all__ == m.__all__
        assert again.__all__ is not m.__all__
        for name, value in before.items():
            if isinstance(value, type):
                assert getattr(again, name) is value
    finally:
        sys.modules["tavimor_revizer_client"] = m


REGISTRATION_ORDER = [
    "Decision", "Mode", "ActorType", "FileOpType", "PromptRole", "TrajectoryStatus", "Parameter", "SourceCode",
    "Tool", "ReActSubAgentDescriptor", "ReActAgentCard", "AgentCardMetadata", "CodingAgentCardCapabilities",
    "CodingAgentCardAsset", "CodingAgentCardSettingsSnapshot", "CodingAgentCard", "AgentCard", "Agent", "Actor",
    "Causality", "ExecutionAttribution", "PolicyMetadata", "PolicyProvenance", "PolicySetProvenance", "Steering",
    "SignatureGuardrailMatch", "SignatureGuardrailResult", "IfcGuardrailResult", "SemanticGuardrailFinding",
    "SemanticGuardrailResult", "GuardrailResults", "ToolCall", "ShellCommand", "WebFetch", "FileOperation", "Prompt",
    "Thought", "ToolOutput", "ShellCommandOutput", "WebFetchOutput", "FileOperationResult", "Started", "Completed",
    "Failed", "Terminated", "Suspended", "Resumed", "Adjudicated", "SignalFocus", "SignalCategory", "SignalSeverity",
    "MessageType", "AgentIntent", "TranscriptOutcome", "Signal", "EventScanResult", "TranscriptPhase",
    "TranscriptDigest", "TranscriptScanResult", "Scanned", "Snapshot", "Event", "RevizerClient", "update_env_file",
    "admit_provider_call_id",
]


def test_all_follows_the_registration_order():
    assert m.__all__ == REGISTRATION_ORDER
    names = {name for name in vars(m) if not name.startswith("__")}
    assert names == set(REGISTRATION_ORDER)


def test_classes_are_named_as_registered():
    for name in m.__all__:
        value = getattr(m, name)
        if isinstance(value, type):
            assert value.__name__ == name
            assert repr(value) == f"<class 'builtins.{name}'>"


def test_reimport_keeps_the_enumeration_members():
    members = [m.Decision.DENY, m.SignalCategory.CREDENTIAL_EXPOSURE]
    del sys.modules["tavimor_revizer_client"]
    try:
        again = importlib.import_module("tavimor_revizer_client")
        assert [again.Decision.DENY, again.SignalCategory.CREDENTIAL_EXPOSURE] == members
        assert again.Decision.DENY is members[0]
    finally:
        sys.modules["tavimor_revizer_client"] = m
