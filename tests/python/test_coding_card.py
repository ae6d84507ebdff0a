"""CodingAgentCard and its parts (AgentCardMetadata, CodingAgentCardCapabilities,
CodingAgentCardAsset, CodingAgentCardSettingsSnapshot): keyword-only
constructors, properties, reprs, equality over fields no property shows,
dict round trips and the stripping of inline asset content."""
import pytest
from raised import raised

from tavimor_revizer_client import (
    AgentCardMetadata,
    CodingAgentCard,
    CodingAgentCardAsset,
    CodingAgentCardCapabilities,
    CodingAgentCardSettingsSnapshot,
    Tool,
)


META = AgentCardMetadata(schema_version="1", hook_version="2")
CAPS = CodingAgentCardCapabilities()
IDENTITY = {"scope": "s", "kind": "k", "name": "n", "path": "p", "content_sha256": "h"}
CONTENT = {"content_media_type": "text/plain", "content": "body", "content_size_bytes": 4, "content_truncated": True}
SNAPSHOT = {"scope": "s", "path": "p", "content_sha256": "h", "allow_permissions": [], "deny_permissions": [],
            "hook_commands": []}
SERVERS = {"b": {"type": "stdio", "command": "c"}, "a": {"type": "streamable-http", "url": "u"}}
SERVERS_WRITTEN = {"a": {"type": "http", "url": "u", "headers": {}},
                   "b": {"type": "stdio", "command": "c", "args": [], "env": {}}}


def asset():
    return CodingAgentCardAsset(**IDENTITY)


def card(**kwargs):
    return CodingAgentCard(**{"metadata": META, "workspace_root": "/w", "execution_mode": "e",
                              "capabilities": CAPS, **kwargs})


MINIMAL_DICT = {
    "metadata": {"schema_version": "1", "hook_version": "2"},
    "workspace_root": "/w",
    "execution_mode": "e",
    "capabilities": {"tools": [], "hook_commands": [], "slash_commands": [], "named_agents": [], "skills": []},
    "assets": [],
    "settings": [],
}


class TestClassShape:
    @pytest.mark.parametrize(
        "cls, signature, doc, properties",
        [
            (CodingAgentCard,
             "(*, metadata, workspace_root, execution_mode, capabilities, model=None, system_instruction=None, "
             "assets=None, settings=None, normalized_context=None)",
             "Universal capability document for a coding agent runtime (SBOM-like).",
             ["metadata", "model", "workspace_root", "execution_mode", "system_instruction", "capabilities",
              "assets", "settings", "normalized_context"]),
            (AgentCardMetadata, "(*, schema_version, hook_version)",
             "Metadata for a CodingAgentCard (schema and hook versions).", ["schema_version", "hook_version"]),
            (CodingAgentCardCapabilities,
             "(*, tools=None, hook_commands=None, slash_commands=None, named_agents=None, skills=None)",
             "Capabilities section of a CodingAgentCard.",
             ["tools", "hook_commands", "slash_commands", "named_agents", "skills"]),
            (CodingAgentCardAsset, "(*, scope, kind, name, path, content_sha256)",
             "A capability-bearing artifact discovered during agent introspection.",
             ["scope", "kind", "name", "path", "content_sha256"]),
            (CodingAgentCardSettingsSnapshot,
             "(*, scope, path, content_sha256, allow_permissions=None, deny_permissions=None, hook_commands=None)",
             "A settings snapshot from an agent runtime configuration.",
             ["scope", "path", "content_sha256", "allow_permissions", "deny_permissions", "hook_commands"]),
        ],
    )
    def test_signature_doc_and_properties(self, cls, signature, doc, properties):
        assert cls.__text_signature__ == signature
        assert cls.__doc__ == doc
        assert cls.to_dict.__text_signature__ == "($self)"
        assert cls.from_dict.__text_signature__ == "(data)"
        declared = [name for name, value in vars(cls).items() if type(value).__name__ == "getset_descriptor"]
        assert declared == properties


class TestConstruction:
    def test_minimal_card(self):
        c = card(system_instruction=None)
        assert c.metadata == META and c.capabilities == CAPS
        assert (c.model, c.workspace_root, c.execution_mode, c.system_instruction) == (None, "/w", "e", "")
        assert (c.assets, c.settings, c.normalized_context) == ([], [], {})
        assert c.to_dict() == MINIMAL_DICT
        assert list(c.to_dict()) == list(MINIMAL_DICT)

    def test_full_card_writes_nine_keys_in_order(self):
        c = card(model="", system_instruction=" ", assets=[asset()],
                 settings=[CodingAgentCardSettingsSnapshot(scope="s", path="p", content_sha256="h")],
                 normalized_context={"b": "2", "a": "1"})
        data = c.to_dict()
        assert list(data) == ["metadata", "model", "workspace_root", "execution_mode", "system_instruction",
                              "capabilities", "assets", "settings", "normalized_context"]
        assert data["model"] == "" and data["system_instruction"] == " "
        assert list(data["normalized_context"]) == ["a", "b"]
        assert data["assets"] == [IDENTITY] and data["settings"] == [SNAPSHOT]
        assert CodingAgentCard.from_dict(data) == c

    @pytest.mark.parametrize("context", [{}, None])
    def test_empty_context_is_left_out(self, context):
        assert "normalized_context" not in card(normalized_context=context).to_dict()

    def test_context_property_is_a_new_dict(self):
        c = card(normalized_context={"b": "2", "a": "1"})
        assert c.normalized_context == {"a": "1", "b": "2"}
        c.normalized_context["z"] = "9"
        assert c.normalized_context is not c.normalized_context and "z" not in c.normalized_context

    def test_context_accepts_dict_subclasses(self):
        class D(dict):
            pass

        assert card(normalized_context=D(a="1")).normalized_context == {"a": "1"}

    def test_capabilities_defaults_and_lists_as_given(self):
        caps = CodingAgentCardCapabilities(skills=["b", "a", "b"], tools=(Tool("t", "d", []),))
        assert caps.skills == ["b", "a", "b"]
        assert caps.tools == [Tool("t", "d", [])]
        assert CodingAgentCardCapabilities().to_dict() == {
            "tools": [], "hook_commands": [], "slash_commands": [], "named_agents": [], "skills": []}
        assert CodingAgentCardCapabilities(hook_commands=None) == CodingAgentCardCapabilities()

    def test_settings_snapshot_defaults(self):
        s = CodingAgentCardSettingsSnapshot(scope="s", path="p", content_sha256="h", allow_permissions=("a", "a"))
        assert (s.allow_permissions, s.deny_permissions, s.hook_commands) == (["a", "a"], [], [])
        assert s.to_dict() == {**SNAPSHOT, "allow_permissions": ["a", "a"]}

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: CodingAgentCard(),
             "CodingAgentCard.__new__() missing 4 required keyword arguments: 'metadata', 'workspace_root', "
             "'execution_mode', and 'capabilities'"),
            (lambda: AgentCardMetadata(schema_version="1"),
             "AgentCardMetadata.__new__() missing 1 required keyword argument: 'hook_version'"),
            (lambda: CodingAgentCardAsset(scope="s"),
             "CodingAgentCardAsset.__new__() missing 4 required keyword arguments: 'kind', 'name', 'path', and "
             "'content_sha256'"),
            (lambda: CodingAgentCardAsset(**IDENTITY, content="c"),
             "CodingAgentCardAsset.__new__() got an unexpected keyword argument 'content'"),
            (lambda: CodingAgentCardSettingsSnapshot(scope="s", path="p", content_sha256="h", mcp_servers={}),
             "CodingAgentCardSettingsSnapshot.__new__() got an unexpected keyword argument 'mcp_servers'"),
            (lambda: AgentCardMetadata("1", "2"),
             "AgentCardMetadata.__new__() takes 0 positional arguments but 2 were given"),
        ],
    )
    def test_binding_errors(self, call, message):
        assert raised(TypeError, call)[0] == message

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"metadata": {"schema_version": "1"}}, "'dict' object is not an instance of 'AgentCardMetadata'",
             "metadata"),
            ({"metadata": None}, "'None' is not an instance of 'AgentCardMetadata'", "metadata"),
            ({"workspace_root": None}, "'None' is not an instance of 'str'", "workspace_root"),
            ({"execution_mode": 1}, "'int' object is not an instance of 'str'", "execution_mode"),
            ({"capabilities": META}, "'AgentCardMetadata' object is not an instance of 'CodingAgentCardCapabilities'",
             "capabilities"),
            ({"model": 1}, "'int' object is not an instance of 'str'", "model"),
            ({"system_instruction": 1}, "'int' object is not an instance of 'str'", "system_instruction"),
            ({"assets": "ab"}, "Can't extract `str` to `Vec`", "assets"),
            ({"assets": [IDENTITY]}, "'dict' object is not an instance of 'CodingAgentCardAsset'", "assets"),
            ({"settings": [asset()]},
             "'CodingAgentCardAsset' object is not an instance of 'CodingAgentCardSettingsSnapshot'", "settings"),
            ({"normalized_context": {"a": 1}}, "'int' object is not an instance of 'str'", "normalized_context"),
            ({"normalized_context": {1: "a"}}, "'int' object is not an instance of 'str'", "normalized_context"),
            ({"normalized_context": [("a", "1")]}, "'list' object is not an instance of 'dict'", "normalized_context"),
        ],
    )
    def test_wrong_argument_types(self, kwargs, message, argument):
        assert raised(TypeError, lambda: card(**kwargs)) == (message, [f"while processing '{argument}'"])

    def test_first_wrong_argument_in_signature_order_wins(self):
        assert raised(TypeError, lambda: card(normalized_context=1, workspace_root=2, metadata=3))[1] == [
            "while processing 'metadata'"]

    @pytest.mark.parametrize(
        "cls, kwargs, argument",
        [
            (CodingAgentCardCapabilities, {"tools": [META]}, "tools"),
            (CodingAgentCardCapabilities, {"skills": "ab"}, "skills"),
            (CodingAgentCardCapabilities, {"named_agents": [1]}, "named_agents"),
            (CodingAgentCardAsset, {**IDENTITY, "content_sha256": None}, "content_sha256"),
            (CodingAgentCardSettingsSnapshot, {"scope": "s", "path": "p", "content_sha256": "h",
                                               "deny_permissions": 5}, "deny_permissions"),
            (AgentCardMetadata, {"schema_version": 1, "hook_version": 2}, "schema_version"),
        ],
    )
    def test_parts_name_their_wrong_argument(self, cls, kwargs, argument):
        assert raised(TypeError, lambda: cls(**kwargs))[1] == [f"while processing '{argument}'"]


class TestHiddenFields:
    def test_asset_content_is_read_kept_and_never_shown(self):
        built = asset()
        decoded = CodingAgentCardAsset.from_dict({**IDENTITY, **CONTENT})
        assert decoded.to_dict() == built.to_dict() == IDENTITY
        assert [getattr(decoded, n) for n in IDENTITY] == [getattr(built, n) for n in IDENTITY]
        assert decoded != built
        assert CodingAgentCardAsset.from_dict(decoded.to_dict()) == built

    @pytest.mark.parametrize("key", list(CONTENT))
    def test_each_content_key_counts_for_equality(self, key):
        assert CodingAgentCardAsset.from_dict({**IDENTITY, key: CONTENT[key]}) != asset()

    def test_card_strips_assets_but_keeps_them(self):
        data = {**MINIMAL_DICT, "assets": [{**IDENTITY, **CONTENT}]}
        decoded = CodingAgentCard.from_dict(data)
        assert decoded.to_dict() == {**MINIMAL_DICT, "assets": [IDENTITY]}
        assert decoded != card(assets=[asset()])
        assert decoded.assets[0] == CodingAgentCardAsset.from_dict({**IDENTITY, **CONTENT})  # a full copy
        assert card(assets=decoded.assets) == decoded

    def test_snapshot_servers_are_read_written_and_compared(self):
        decoded = CodingAgentCardSettingsSnapshot.from_dict({**SNAPSHOT, "mcp_servers": SERVERS})
        assert decoded.to_dict() == {**SNAPSHOT, "mcp_servers": SERVERS_WRITTEN}
        assert list(decoded.to_dict()["mcp_servers"]) == ["a", "b"]
        assert not hasattr(decoded, "mcp_servers")
        assert decoded != CodingAgentCardSettingsSnapshot(scope="s", path="p", content_sha256="h")
        c = card(settings=[decoded])
        assert c.settings == [decoded]
        assert c.to_dict()["settings"][0]["mcp_servers"] == SERVERS_WRITTEN


    def test_stripping_walks_the_whole_card(self):
        # An object with the five identifying keys anywhere in the card loses
        # its content keys, here one held as an MCP server's JSON value; the
        # snapshot alone strips nothing.
        helper = {**IDENTITY, "content": "x", "other": 1}
        servers = {"s": {"type": "http", "url": "u", "headersHelper": helper}}
        snapshot = CodingAgentCardSettingsSnapshot.from_dict({**SNAPSHOT, "mcp_servers": servers})
        assert snapshot.to_dict()["mcp_servers"]["s"]["headersHelper"] == helper
        written = card(settings=[snapshot]).to_dict()["settings"][0]["mcp_servers"]["s"]["headersHelper"]
        assert written == {**IDENTITY, "other": 1}


class TestDictConversion:
    @pytest.mark.parametrize(
        "cls, data, expected",
        [
            (AgentCardMetadata, ["1", "2"], META),
            (CodingAgentCardCapabilities, [[], [], [], [], []], CAPS),
            (CodingAgentCardAsset, ["s", "k", "n", "p", "h"], None),
            (CodingAgentCardSettingsSnapshot, ["s", "p", "h", [], [], []], None),
        ],
    )
    def test_array_forms(self, cls, data, expected):
        obj = cls.from_dict(data)
        if expected is not None:
            assert obj == expected
        assert cls.from_dict(obj.to_dict()) == obj

    def test_card_array_form_with_defaults(self):
        data = [MINIMAL_DICT["metadata"], None, "/w", "e", "", MINIMAL_DICT["capabilities"], [], [], {}]
        assert CodingAgentCard.from_dict(data) == card()

    @pytest.mark.parametrize(
        "cls, data, message",
        [
            (CodingAgentCardCapabilities, {}, "missing field `tools`"),
            (CodingAgentCardCapabilities, {"tools": [], "hook_commands": [], "slash_commands": [],
                                           "named_agents": []}, "missing field `skills`"),
            (AgentCardMetadata, {"schema_version": "1"}, "missing field `hook_version`"),
            (CodingAgentCardSettingsSnapshot, {k: v for k, v in SNAPSHOT.items() if k != "hook_commands"},
             "missing field `hook_commands`"),
            (CodingAgentCardSettingsSnapshot, {**SNAPSHOT, "mcp_servers": None}, "invalid type: null, expected a map"),
            (CodingAgentCardSettingsSnapshot, {**SNAPSHOT, "mcp_servers": {"x": {"type": "HTTP", "url": "u"}}},
             "unknown variant `HTTP`, expected one of `stdio`, `http`, `streamable-http`, `sse`, `websocket`, `ws`"),
            (CodingAgentCardSettingsSnapshot, {**SNAPSHOT, "mcp_servers": {"x": {"url": "u"}}},
             "missing field `type`"),
            (CodingAgentCardAsset, {**IDENTITY, "content_size_bytes": -1}, "invalid value: integer `-1`, expected u64"),
            (CodingAgentCardAsset, {**IDENTITY, "content_size_bytes": 1.5},
             "invalid type: floating point `1.5`, expected u64"),
            (CodingAgentCardAsset, {**IDENTITY, "content_truncated": None}, "invalid type: null, expected a boolean"),
            (CodingAgentCardAsset, {"Scope": "s", **{k: v for k, v in IDENTITY.items() if k != "scope"}},
             "missing field `scope`"),
            (CodingAgentCardAsset, ["s", "k"], "invalid length 2, expected struct CodingAgentCardAsset with 9 elements"),
            (CodingAgentCard, {k: v for k, v in MINIMAL_DICT.items() if k != "assets"}, "missing field `assets`"),
            (CodingAgentCard, {"workspace_root": "/w"}, "missing field `metadata`"),
            (CodingAgentCard, {**MINIMAL_DICT, "system_instruction": None}, "invalid type: null, expected a string"),
            (CodingAgentCard, {**MINIMAL_DICT, "normalized_context": {"a": 1}},
             "invalid type: integer `1`, expected a string"),
            (CodingAgentCard, {**MINIMAL_DICT, "assets": [{k: v for k, v in IDENTITY.items() if k != "content_sha256"}]},
             "missing field `content_sha256`"),
            (CodingAgentCard, [MINIMAL_DICT["metadata"]],
             "invalid length 2, expected struct CodingAgentCard with 9 elements"),
            (CodingAgentCard, "x", 'invalid type: string "x", expected struct CodingAgentCard'),
        ],
    )
    def test_decoder_errors(self, cls, data, message):
        assert raised(ValueError, lambda: cls.from_dict(data))[0] == message

    def test_largest_size_is_accepted(self):
        decoded = CodingAgentCardAsset.from_dict({**IDENTITY, "content_size_bytes": 2**64 - 1})
        assert decoded != asset()
        with pytest.raises(ValueError, match="^integer out of range"):
            CodingAgentCardAsset.from_dict({**IDENTITY, "content_size_bytes": 2**64})


class TestValues:
    @pytest.mark.parametrize(
        "obj, text",
        [
            (card(), 'CodingAgentCard(model=None, workspace_root="/w", execution_mode="e", tools=0, assets=0, '
                     'settings=0)'),
            (card(model="m", capabilities=CodingAgentCardCapabilities(tools=[Tool("t", "d", [])]), assets=[asset()]),
             'CodingAgentCard(model=Some("m"), workspace_root="/w", execution_mode="e", tools=1, assets=1, '
             'settings=0)'),
            (META, 'AgentCardMetadata(schema_version="1", hook_version="2")'),
            (CodingAgentCardCapabilities(skills=["a", "b"]),
             "CodingAgentCardCapabilities(tools=0, hook_commands=0, slash_commands=0, named_agents=0, skills=2)"),
            (asset(), 'CodingAgentCardAsset(scope="s", kind="k", name="n")'),
            (CodingAgentCardSettingsSnapshot(scope="u\u200b", path='a"b', content_sha256="h"),
             'CodingAgentCardSettingsSnapshot(scope="u\\u{200b}", path="a\\"b")'),
        ],
    )
    def test_repr(self, obj, text):
        assert repr(obj) == str(obj) == text

    def test_properties_are_fresh_copies(self):
        c = card(assets=[asset()])
        assert c.metadata is not c.metadata and c.metadata == c.metadata
        assert c.capabilities is not c.capabilities
        assets = c.assets
        assets.clear()
        assert len(c.assets) == 1

    def test_equality_field_by_field(self):
        reference = card()
        for change in (dict(metadata=AgentCardMetadata(schema_version="1", hook_version="3")), dict(model=""),
                       dict(workspace_root="/x"), dict(execution_mode="f"), dict(system_instruction="s"),
                       dict(capabilities=CodingAgentCardCapabilities(skills=["s"])), dict(assets=[asset()]),
                       dict(normalized_context={"a": "1"})):
            assert reference != card(**change), change
        assert card(normalized_context={"a": "1", "b": "2"}) == card(normalized_context={"b": "2", "a": "1"})

    @pytest.mark.parametrize("obj", [card(), META, CAPS, asset()])
    def test_other_classes_ordering_and_hash(self, obj):
        assert (obj == "a") is False and (obj != "a") is True
        with pytest.raises(TypeError):
            obj <= obj
        with pytest.raises(TypeError):
            hash(obj)
