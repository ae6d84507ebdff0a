"""admit_provider_call_id, and the argument checks of both module functions."""

import pytest

import tavimor_revizer_client as m

ADAPTERS = [
    "claude_code", "claude_cowork", "codex", "vscode_copilot_chat", "cursor_generic", "cursor_legacy",
    "opencode", "openhands", "hermes", "copilot_cli", "gemini_cli", "antigravity", "google_adk", "unknown",
]


def test_functions_are_registered_after_the_classes():
    assert m.__all__[-2:] == ["update_env_file", "admit_provider_call_id"]
    assert m.update_env_file.__module__ == "tavimor_revizer_client"
    assert m.update_env_file.__text_signature__ == "(updates)"
    assert m.admit_provider_call_id.__text_signature__ == "(adapter, value)"
    assert m.admit_provider_call_id.__doc__.startswith("Admit an upstream provider call identity")
    assert "raised exception \u2014 the constructor's contract" in m.admit_provider_call_id.__doc__
    assert m.update_env_file.__doc__.endswith("Raises ``OSError`` on I/O failures.")


@pytest.mark.parametrize("adapter", ADAPTERS)
def test_every_adapter_token_is_known(adapter):
    assert m.admit_provider_call_id(adapter, "call-1") == "call-1"
    assert m.admit_provider_call_id(adapter=adapter, value=None) is None


@pytest.mark.parametrize("adapter", ["Codex", "codex ", "", "claude-code", "nope", "codex\x00", "co\x00dex"])
def test_unknown_adapters_are_refused_even_without_a_value(adapter):
    for value in (None, "call-1"):
        with pytest.raises(ValueError) as caught:
            m.admit_provider_call_id(adapter, value)
        assert str(caught.value) == f"Unknown adapter token: {adapter}"


@pytest.mark.parametrize(
    "value, admitted",
    [
        ("", None),
        (" \t ", None),
        ("\u3000\u2028", None),
        ("a\x00b", None),
        ("x" * 256, "x" * 256),
        ("x" * 257, None),
        ("\u00e9" * 128, "\u00e9" * 128),
        ("\u00e9" * 129, None),
        (" a ", " a "),
        ("\u200b", "\u200b"),  # a zero-width space is not White_Space
    ],
)
def test_values_are_screened(value, admitted):
    result = m.admit_provider_call_id("codex", value)
    assert result == admitted
    if admitted is not None:
        assert type(result) is str


class Text(str):
    pass


def test_admit_returns_a_plain_str_for_a_str_subclass():
    result = m.admit_provider_call_id(Text("codex"), Text("id"))
    assert type(result) is str and result == "id"


@pytest.mark.parametrize(
    "call, message, note",
    [
        (lambda: m.admit_provider_call_id(1, "v"), "'int' object is not an instance of 'str'", "adapter"),
        (lambda: m.admit_provider_call_id("nope", 1), "'int' object is not an instance of 'str'", "value"),
        (lambda: m.admit_provider_call_id(None, None), "'None' is not an instance of 'str'", "adapter"),
        (lambda: m.update_env_file([("A", "1")]), "'list' object is not an instance of 'dict'", "updates"),
        (lambda: m.update_env_file({"A": 1}), "'int' object is not an instance of 'str'", "updates"),
        (lambda: m.update_env_file({1: "x"}), "'int' object is not an instance of 'str'", "updates"),
    ],
)
def test_argument_type_errors_name_the_argument(call, message, note):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
    assert caught.value.__notes__ == [f"while processing '{note}'"]


def test_missing_arguments_are_binding_errors():
    with pytest.raises(TypeError) as caught:
        m.update_env_file()
    assert "update_env_file()" in str(caught.value) and "'updates'" in str(caught.value)
    with pytest.raises(TypeError):
        m.admit_provider_call_id("codex")
