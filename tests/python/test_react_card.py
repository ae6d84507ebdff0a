"""ReActAgentCard and ReActSubAgentDescriptor: keyword-only constructors, the
card's canonical sub-agent order, properties, reprs, equality and dict
round trips that keep what they read."""
import pytest
from raised import raised

from tavimor_revizer_client import Parameter, ReActAgentCard, ReActSubAgentDescriptor, SourceCode, Tool


def sub(name, **kwargs):
    return ReActSubAgentDescriptor(name=name, **kwargs)


def names(card):
    return [s.name for s in card.sub_agents]


class TestClassShape:
    @pytest.mark.parametrize(
        "cls, signature, doc",
        [
            (ReActAgentCard, "(*, model=None, system_instruction=None, tools=None, sub_agents=None)",
             "A lightweight agent card for ReAct-style agents."),
            (ReActSubAgentDescriptor,
             "(*, name, parent_path=None, description=None, model=None, collaboration_mode=None, "
             "owned_tool_names=None)",
             "Static capability metadata for one ReAct sub-agent."),
        ],
    )
    def test_signature_and_doc(self, cls, signature, doc):
        assert cls.__text_signature__ == signature
        assert cls.__doc__ == doc
        assert repr(cls) == f"<class 'builtins.{cls.__name__}'>"
        assert cls.to_dict.__text_signature__ == "($self)"
        assert cls.from_dict.__text_signature__ == "(data)"

    @pytest.mark.parametrize(
        "cls, properties",
        [
            (ReActAgentCard, ["model", "system_instruction", "tools", "sub_agents"]),
            (ReActSubAgentDescriptor,
             ["name", "parent_path", "description", "model", "collaboration_mode", "owned_tool_names"]),
        ],
    )
    def test_properties_in_declaration_order(self, cls, properties):
        declared = [name for name, value in vars(cls).items() if type(value).__name__ == "getset_descriptor"]
        assert declared == properties


class TestSubAgentDescriptor:
    def test_defaults(self):
        d = sub("x", model=None)
        assert (d.name, d.parent_path, d.description, d.model, d.collaboration_mode, d.owned_tool_names) == (
            "x", [], "", None, "", [])
        assert d == sub("x", parent_path=None, description=None, collaboration_mode=None, owned_tool_names=None)
        assert d.to_dict() == {"name": "x"}

    def test_stored_as_given(self):
        d = sub("x", parent_path=("root", "mid"), description="d", model="", collaboration_mode="c",
                owned_tool_names=["b", "a", "b"])
        assert d.parent_path == ["root", "mid"]
        assert d.owned_tool_names == ["b", "a", "b"]
        assert d.model == ""
        assert d.to_dict() == {"name": "x", "parent_path": ["root", "mid"], "description": "d", "model": "",
                               "collaboration_mode": "c", "owned_tool_names": ["b", "a", "b"]}
        assert ReActSubAgentDescriptor.from_dict(d.to_dict()) == d

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: ReActSubAgentDescriptor(), "ReActSubAgentDescriptor.__new__() missing 1 required keyword "
                                                "argument: 'name'"),
            (lambda: ReActSubAgentDescriptor("x"), "ReActSubAgentDescriptor.__new__() takes 0 positional arguments "
                                                   "but 1 was given"),
        ],
    )
    def test_binding_errors(self, call, message):
        assert raised(TypeError, call)[0] == message

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"name": None}, "'None' is not an instance of 'str'", "name"),
            ({"parent_path": "ab"}, "Can't extract `str` to `Vec`", "parent_path"),
            ({"parent_path": [1]}, "'int' object is not an instance of 'str'", "parent_path"),
            ({"description": 1}, "'int' object is not an instance of 'str'", "description"),
            ({"model": 1}, "'int' object is not an instance of 'str'", "model"),
            ({"collaboration_mode": []}, "'list' object is not an instance of 'str'", "collaboration_mode"),
            ({"owned_tool_names": 5}, "'int' object is not an instance of 'Sequence'", "owned_tool_names"),
        ],
    )
    def test_wrong_argument_types(self, kwargs, message, argument):
        args = {"name": "x", **kwargs}
        expected = (message, [f"while processing '{argument}'"])
        assert raised(TypeError, lambda: ReActSubAgentDescriptor(**args)) == expected

    def test_repr(self):
        assert repr(sub("x")) == 'ReActSubAgentDescriptor(name="x", parent_path=[], collaboration_mode="")'
        assert repr(sub('a"b', parent_path=["r", "m\n"], collaboration_mode="team")) == (
            'ReActSubAgentDescriptor(name="a\\"b", parent_path=["r", "m\\n"], collaboration_mode="team")')


class TestCanonicalCard:
    def test_empty_card(self):
        card = ReActAgentCard(system_instruction=None)
        assert (card.model, card.system_instruction, card.tools, card.sub_agents) == (None, "", [], [])
        assert card.to_dict() == {}
        assert repr(card) == "ReActAgentCard(model=None, tools=0, sub_agents=0)"

    @pytest.mark.parametrize(
        "given, held",
        [
            ([sub("b"), sub("a")], ["a", "b"]),
            # parent path first: [] before ["x"], ["a"] before ["a", "b"]
            ([sub("a", parent_path=["x"]), sub("z")], ["z", "a"]),
            ([sub("a", parent_path=["a", "b"]), sub("b", parent_path=["a"])], ["b", "a"]),
            # byte order: "Z" before "a"
            ([sub("a"), sub("Z")], ["Z", "a"]),
            ([sub("a"), sub("b"), sub("a")], ["a", "b"]),
        ],
    )
    def test_sub_agent_order_and_repeats(self, given, held):
        assert names(ReActAgentCard(sub_agents=given)) == held

    def test_absent_model_first(self):
        card = ReActAgentCard(sub_agents=(sub("a", model="m"), sub("a")))
        assert [s.model for s in card.sub_agents] == [None, "m"]

    def test_tool_names_sorted_before_repeats_go(self):
        card = ReActAgentCard(sub_agents=[sub("a", owned_tool_names=["b", "a"]),
                                          sub("a", owned_tool_names=["a", "b", "a"])])
        assert len(card.sub_agents) == 1
        assert card.sub_agents[0].owned_tool_names == ["a", "b"]

    def test_the_descriptor_itself_is_not_canonicalised(self):
        d = sub("a", owned_tool_names=["b", "a", "b"])
        card = ReActAgentCard(sub_agents=[d])
        assert card.sub_agents[0].owned_tool_names == ["a", "b"]
        assert d.owned_tool_names == ["b", "a", "b"]

    def test_tools_keep_order_and_repeats(self):
        t1, t2 = Tool("t1", "d", []), Tool("t2", "d", [Parameter("p", "", "int")], source=SourceCode("py", "x"))
        card = ReActAgentCard(tools=[t2, t1, t1])
        assert card.tools == [t2, t1, t1]
        assert repr(ReActAgentCard(model="m1", tools=[t1])) == 'ReActAgentCard(model=Some("m1"), tools=1, sub_agents=0)'

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"sub_agents": "ab"}, "Can't extract `str` to `Vec`", "sub_agents"),
            ({"sub_agents": 3}, "'int' object is not an instance of 'Sequence'", "sub_agents"),
            ({"sub_agents": [Tool("t", "d", [])]}, "'Tool' object is not an instance of 'ReActSubAgentDescriptor'",
             "sub_agents"),
            ({"tools": "ab"}, "Can't extract `str` to `Vec`", "tools"),
            ({"tools": [sub("a")]}, "'ReActSubAgentDescriptor' object is not an instance of 'Tool'", "tools"),
            ({"model": b"m"}, "'bytes' object is not an instance of 'str'", "model"),
            ({"system_instruction": 1}, "'int' object is not an instance of 'str'", "system_instruction"),
        ],
    )
    def test_wrong_argument_types(self, kwargs, message, argument):
        assert raised(TypeError, lambda: ReActAgentCard(**kwargs)) == (message, [f"while processing '{argument}'"])

    def test_positional_arguments_are_refused(self):
        assert raised(TypeError, lambda: ReActAgentCard("m"))[0] == (
            "ReActAgentCard.__new__() takes 0 positional arguments but 1 was given")


class TestDecodedCards:
    def test_decoding_keeps_order_and_repeats(self):
        card = ReActAgentCard.from_dict({"sub_agents": [{"name": "b"}, {"name": "a"}, {"name": "a"}]})
        assert names(card) == ["b", "a", "a"]
        built = ReActAgentCard(sub_agents=[sub("b"), sub("a"), sub("a")])
        assert names(built) == ["a", "b"]
        assert card != built
        assert card.to_dict() == {"sub_agents": [{"name": "b"}, {"name": "a"}, {"name": "a"}]}

    def test_full_round_trip_in_key_order(self):
        card = ReActAgentCard(model="m", system_instruction=" ", tools=[Tool("t", "d", [])],
                              sub_agents=[sub("s", parent_path=["p"])])
        data = card.to_dict()
        assert data == {"model": "m", "system_instruction": " ",
                        "tools": [{"name": "t", "description": "d", "parameters": []}],
                        "sub_agents": [{"name": "s", "parent_path": ["p"]}]}
        assert list(data) == ["model", "system_instruction", "tools", "sub_agents"]
        assert ReActAgentCard.from_dict(data) == card

    @pytest.mark.parametrize(
        "data, expected",
        [
            ({}, ReActAgentCard()),
            ([], ReActAgentCard()),
            ({"model": None, "extra": [1]}, ReActAgentCard()),
            ({"model": ""}, ReActAgentCard(model="")),
            ([None, "s"], ReActAgentCard(system_instruction="s")),
            ({"sub_agents": [["x"]]}, ReActAgentCard(sub_agents=[sub("x")])),
        ],
    )
    def test_reading(self, data, expected):
        assert ReActAgentCard.from_dict(data) == expected

    @pytest.mark.parametrize(
        "cls, data, message",
        [
            (ReActAgentCard, {"system_instruction": None}, "invalid type: null, expected a string"),
            (ReActAgentCard, {"tools": {}}, "invalid type: map, expected a sequence"),
            (ReActAgentCard, {"sub_agents": [{}]}, "missing field `name`"),
            (ReActAgentCard, [None, "", [], [], 1], "invalid length 5, expected fewer elements in array"),
            (ReActAgentCard, "card", 'invalid type: string "card", expected struct ReActAgentCard'),
            (ReActSubAgentDescriptor, {"role": "r"}, "missing field `name`"),
            (ReActSubAgentDescriptor, [], "invalid length 0, expected struct ReActSubAgentDescriptor with 6 elements"),
            (ReActSubAgentDescriptor, {"name": "x", "parent_path": [1]}, "invalid type: integer `1`, expected a string"),
            (ReActSubAgentDescriptor, 5, "invalid type: integer `5`, expected struct ReActSubAgentDescriptor"),
        ],
    )
    def test_decoder_errors(self, cls, data, message):
        assert raised(ValueError, lambda: cls.from_dict(data))[0] == message


class TestValues:
    def test_properties_are_fresh_copies(self):
        card = ReActAgentCard(tools=[Tool("t", "d", [])], sub_agents=[sub("a", parent_path=["p"])])
        assert card.tools is not card.tools and card.tools == card.tools
        assert card.sub_agents[0] is not card.sub_agents[0]
        card.sub_agents[0].parent_path.append("x")
        assert card.sub_agents[0].parent_path == ["p"]

    def test_equality_field_by_field(self):
        base = dict(model="m", system_instruction="s", tools=[Tool("t", "d", [])], sub_agents=[sub("a")])
        reference = ReActAgentCard(**base)
        assert reference == ReActAgentCard(**base)
        for change in (dict(model=None), dict(model=""), dict(system_instruction=""), dict(tools=[]),
                       dict(tools=[Tool("t", "e", [])]), dict(sub_agents=[sub("a", description="x")])):
            assert reference != ReActAgentCard(**{**base, **change}), change

    @pytest.mark.parametrize("obj", [ReActAgentCard(), sub("a")])
    def test_other_classes_ordering_and_hash(self, obj):
        assert (obj == "a") is False and (obj != "a") is True
        with pytest.raises(TypeError):
            obj < obj
        with pytest.raises(TypeError):
            hash(obj)
