"""Tool, Parameter and SourceCode: constructors, properties, reprs, equality
and dict round trips."""
import gc
import weakref

import pytest

from tavimor_revizer_client import Parameter, SourceCode, Tool


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


def full_tool():
    return Tool(
        "search",
        "Searches the web.",
        [Parameter("q", "the query", "string"), Parameter("n", "how many", "integer")],
        id="tool-1",
        parameters_json_schema='{"type": "object"}',
        response="a list of links",
        response_json_schema='{"type": "array"}',
        source=SourceCode("python", "def search(q, n): ..."),
    )


FULL_TOOL_DICT = {
    "id": "tool-1",
    "name": "search",
    "description": "Searches the web.",
    "parameters": [
        {"name": "q", "description": "the query", "type": "string"},
        {"name": "n", "description": "how many", "type": "integer"},
    ],
    "parameters_json_schema": '{"type": "object"}',
    "response": "a list of links",
    "response_json_schema": '{"type": "array"}',
    "source": {"language": "python", "code": "def search(q, n): ..."},
}


class TestClassShape:
    @pytest.mark.parametrize(
        "cls, signature, doc",
        [
            (
                Tool,
                "(name, description, parameters, *, id=None, parameters_json_schema=None, "
                "response=None, response_json_schema=None, source=None)",
                "A tool exposed by an agent.",
            ),
            (Parameter, "(name, description, param_type)", "A tool parameter definition."),
            (SourceCode, "(language, code)", "Source code attached to a tool."),
        ],
    )
    def test_signature_doc_and_type_name(self, cls, signature, doc):
        assert cls.__text_signature__ == signature
        assert cls.__doc__ == doc
        assert cls.__module__ == "builtins"
        assert repr(cls) == f"<class 'builtins.{cls.__name__}'>"
        assert cls.to_dict.__text_signature__ == "($self)"
        assert cls.from_dict.__text_signature__ == "(data)"

    @pytest.mark.parametrize("cls", [Tool, Parameter, SourceCode])
    def test_cannot_be_subclassed(self, cls):
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})

    def test_objects_are_untracked_without_dict_or_weakrefs(self):
        for obj in (full_tool(), Parameter("a", "b", "c"), SourceCode("sh", "ls")):
            assert not gc.is_tracked(obj)
            with pytest.raises(AttributeError):
                obj.extra = 1
            with pytest.raises(TypeError):
                weakref.ref(obj)


class TestConstruction:
    def test_minimal_tool(self):
        tool = Tool("t", "d", [])
        assert tool.id is None
        assert tool.source is None
        assert tool.parameters == []
        assert (tool.parameters_json_schema, tool.response, tool.response_json_schema) == (None, None, None)
        assert tool.to_dict() == {"name": "t", "description": "d", "parameters": []}
        assert list(tool.to_dict()) == ["name", "description", "parameters"]

    def test_full_tool_properties(self):
        tool = full_tool()
        assert tool.id == "tool-1"
        assert tool.name == "search"
        assert tool.description == "Searches the web."
        assert tool.parameters == [Parameter("q", "the query", "string"), Parameter("n", "how many", "integer")]
        assert tool.parameters_json_schema == '{"type": "object"}'
        assert tool.response == "a list of links"
        assert tool.response_json_schema == '{"type": "array"}'
        assert tool.source == SourceCode("python", "def search(q, n): ...")

    def test_keywords_and_explicit_none(self):
        tool = Tool(
            name="t", description="d", parameters=(), id=None, parameters_json_schema=None,
            response=None, response_json_schema=None, source=None,
        )
        assert tool == Tool("t", "d", [])

    def test_parameters_keep_order_and_repeats_from_any_sequence(self):
        p, q = Parameter("p", "", "int"), Parameter("q", "", "str")
        assert Tool("t", "d", (p, q, p)).parameters == [p, q, p]

    def test_str_subclasses_are_texts(self):
        class S(str):
            pass

        p = Parameter(S("x"), S("d"), S("int"))
        assert type(p.name) is str and p.name == "x"

    @pytest.mark.parametrize("text", ["", "a", "\x7f", "ab", "x" * 100, "a\x00b", "é", "héllo", "ÿ" * 20, "✓",
                                      "a✓" * 30, "𝄞", "mixed 𝄞 ü ✓"])
    def test_texts_of_every_width_read_back_as_plain_equal_strs(self, text):
        p = Parameter(text, text, text)
        for read in (p.name, p.description, Tool(text, text, [], id=text).id):
            assert type(read) is str and read == text and hash(read) == hash(text)
            assert read.isascii() == text.isascii() and {text: 1}[read] == 1
        if len(text) > 1:
            assert p.name is not p.name  # a fresh object on every read

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"parameters": None}, "'None' is not an instance of 'Sequence'", "parameters"),
            ({"parameters": "ab"}, "Can't extract `str` to `Vec`", "parameters"),
            ({"parameters": 5}, "'int' object is not an instance of 'Sequence'", "parameters"),
            ({"parameters": {1, 2}}, "'set' object is not an instance of 'Sequence'", "parameters"),
            ({"parameters": [1]}, "'int' object is not an instance of 'Parameter'", "parameters"),
            ({"parameters": [SourceCode("a", "b")]}, "'SourceCode' object is not an instance of 'Parameter'", "parameters"),
            ({"name": 1}, "'int' object is not an instance of 'str'", "name"),
            ({"description": None}, "'None' is not an instance of 'str'", "description"),
            ({"id": 3}, "'int' object is not an instance of 'str'", "id"),
            ({"parameters_json_schema": {"type": "object"}}, "'dict' object is not an instance of 'str'", "parameters_json_schema"),
            ({"response": b"x"}, "'bytes' object is not an instance of 'str'", "response"),
            ({"response_json_schema": 1.5}, "'float' object is not an instance of 'str'", "response_json_schema"),
            ({"source": "python"}, "'str' object is not an instance of 'SourceCode'", "source"),
        ],
    )
    def test_wrong_argument_types(self, kwargs, message, argument):
        args = {"name": "t", "description": "d", "parameters": [], **kwargs}
        with pytest.raises(TypeError) as exc_info:
            Tool(**args)
        assert str(exc_info.value) == message
        assert notes(exc_info) == [f"while processing '{argument}'"]

    def test_first_wrong_argument_in_signature_order_wins(self):
        with pytest.raises(TypeError) as exc_info:
            Tool(1, 2, None, source=3)
        assert notes(exc_info) == ["while processing 'name'"]
        with pytest.raises(TypeError) as exc_info:
            Tool("t", "d", [], id=1, source=3)
        assert notes(exc_info) == ["while processing 'id'"]

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Tool(), "Tool.__new__() missing 3 required positional arguments: 'name', 'description', and 'parameters'"),
            (lambda: Tool("t", "d"), "Tool.__new__() missing 1 required positional argument: 'parameters'"),
            (lambda: Tool("t", "d", [], "x"), "Tool.__new__() takes 3 positional arguments but 4 were given"),
            (lambda: Tool("t", "d", [], name="x"), "Tool.__new__() got multiple values for argument 'name'"),
            (lambda: Tool("t", "d", [], ids="x"), "Tool.__new__() got an unexpected keyword argument 'ids'"),
            (lambda: Parameter("x", "d"), "Parameter.__new__() missing 1 required positional argument: 'param_type'"),
            (lambda: Parameter("x", "d", type="t"), "Parameter.__new__() got an unexpected keyword argument 'type'"),
            (lambda: SourceCode(), "SourceCode.__new__() missing 2 required positional arguments: 'language' and 'code'"),
            (lambda: SourceCode.from_dict(), "SourceCode.from_dict() missing 1 required positional argument: 'data'"),
        ],
    )
    def test_binding_errors(self, call, message):
        with pytest.raises(TypeError) as exc_info:
            call()
        assert str(exc_info.value) == message

    @pytest.mark.parametrize("cls, args", [(Parameter, ("x", "d", 1)), (SourceCode, ("sh", None))])
    def test_parameter_and_source_take_only_texts(self, cls, args):
        with pytest.raises(TypeError) as exc_info:
            cls(*args)
        name = cls.__text_signature__.strip("()").split(", ")[len(args) - 1]
        assert notes(exc_info) == [f"while processing '{name}'"]


class TestProperties:
    def test_nested_values_are_fresh_copies(self):
        tool = full_tool()
        params = tool.parameters
        params.append(Parameter("z", "z", "z"))
        params[0] = None
        assert len(tool.parameters) == 2
        assert tool.parameters is not tool.parameters
        assert tool.source is not tool.source
        assert tool.source == tool.source
        assert tool.parameters[0] is not tool.parameters[0]

    def test_properties_are_read_only(self):
        tool = full_tool()
        for name in ("id", "name", "description", "parameters", "source"):
            with pytest.raises(AttributeError):
                setattr(tool, name, None)
        with pytest.raises(AttributeError):
            Parameter("a", "b", "c").param_type = "x"

    def test_construction_copies_arguments(self):
        params = [Parameter("a", "b", "c")]
        tool = Tool("t", "d", params)
        params.append(Parameter("x", "y", "z"))
        assert len(tool.parameters) == 1


class TestRepr:
    @pytest.mark.parametrize(
        "obj, text",
        [
            (Tool("t", "d", []), 'Tool(name="t", parameters=0)'),
            (full_tool(), 'Tool(name="search", parameters=2)'),
            (Parameter("x", "d", "string"), 'Parameter(name="x", type="string")'),
            (SourceCode("sh", "echo 1"), 'SourceCode(language="sh")'),
            (Parameter('say "hi"\n', "d", "caf\u00e9\u200b"), 'Parameter(name="say \\"hi\\"\\n", type="caf\u00e9\\u{200b}")'),
            (SourceCode("a\\b\t\0", ""), 'SourceCode(language="a\\\\b\\t\\0")'),
        ],
    )
    def test_repr_and_str(self, obj, text):
        assert repr(obj) == text
        assert str(obj) == text


class TestEquality:
    def test_equal_and_unequal_field_by_field(self):
        assert full_tool() == full_tool()
        assert not (full_tool() != full_tool())
        base = dict(name="t", description="d", parameters=[Parameter("a", "b", "c")])
        variants = [
            dict(base, name="u"),
            dict(base, description="e"),
            dict(base, parameters=[]),
            dict(base, parameters=[Parameter("a", "b", "C")]),
            dict(base, parameters=[Parameter("a", "b", "c")] * 2),
            dict(base, id=""),
            dict(base, parameters_json_schema="{}"),
            dict(base, response=""),
            dict(base, response_json_schema="{}"),
            dict(base, source=SourceCode("", "")),
        ]
        reference = Tool(**base)
        for kwargs in variants:
            other = Tool(**kwargs)
            assert reference != other, kwargs
            assert not (reference == other), kwargs
        assert Tool(**base, source=SourceCode("a", "b")) != Tool(**base, source=SourceCode("a", "c"))

    @pytest.mark.parametrize("obj", [full_tool(), Parameter("a", "b", "c"), SourceCode("a", "b")])
    def test_other_classes_ordering_and_hash(self, obj):
        assert (obj == "a") is False
        assert (obj != "a") is True
        assert obj != SourceCode("a", "b") or type(obj) is SourceCode
        with pytest.raises(TypeError):
            obj < obj
        with pytest.raises(TypeError):
            obj >= obj
        with pytest.raises(TypeError):
            hash(obj)
        with pytest.raises(TypeError):
            {obj}

    def test_parameter_never_equals_source_with_the_same_texts(self):
        assert Parameter("a", "b", "c") != SourceCode("a", "b")


class TestDictConversion:
    def test_full_round_trip_in_key_order(self):
        data = full_tool().to_dict()
        assert data == FULL_TOOL_DICT
        assert list(data) == list(FULL_TOOL_DICT)
        assert list(data["parameters"][0]) == ["name", "description", "type"]
        assert Tool.from_dict(data) == full_tool()

    def test_schema_text_stays_text(self):
        data = Tool("t", "d", [], parameters_json_schema='{"type": "object"}').to_dict()
        assert data["parameters_json_schema"] == '{"type": "object"}'

    @pytest.mark.parametrize(
        "cls, data",
        [
            (Tool, {"name": "t", "description": "d"}),
            (Tool, {"name": "t", "description": "d", "parameters": [], "id": None, "source": None, "other": 1}),
            (Tool, [None, "t", "d"]),
            (Tool, [None, "t", "d", [], None, None, None, None]),
        ],
    )
    def test_defaults_when_reading(self, cls, data):
        assert cls.from_dict(data) == Tool("t", "d", [])

    def test_array_form_and_keyword_argument(self):
        assert Tool.from_dict(data=["i", "t", "d"]) == Tool("t", "d", [], id="i")
        assert Parameter.from_dict(["x", "d", "string"]) == Parameter("x", "d", "string")
        assert SourceCode.from_dict(["sh", "ls"]) == SourceCode("sh", "ls")

    @pytest.mark.parametrize(
        "obj, data",
        [
            (Parameter("x", "d", "string"), {"name": "x", "description": "d", "type": "string"}),
            (SourceCode("sh", "echo 1"), {"language": "sh", "code": "echo 1"}),
        ],
    )
    def test_parameter_and_source_round_trip(self, obj, data):
        assert obj.to_dict() == data
        assert list(obj.to_dict()) == list(data)
        assert type(obj).from_dict(data) == obj

    @pytest.mark.parametrize(
        "cls, data, message",
        [
            (Tool, {}, "missing field `name`"),
            (Tool, {"name": "t"}, "missing field `description`"),
            (Tool, {"Name": "t", "description": "d"}, "missing field `name`"),
            (Tool, {"name": "t", "description": "d", "parameters": None}, "invalid type: null, expected a sequence"),
            (Tool, {"name": "t", "description": "d", "parameters": {}}, "invalid type: map, expected a sequence"),
            (Tool, {"name": "t", "description": "d", "parameters_json_schema": {"type": "object"}}, "invalid type: map, expected a string"),
            (Tool, {"name": 5, "description": "d"}, "invalid type: integer `5`, expected a string"),
            (Tool, {"name": True, "description": "d"}, "invalid type: boolean `true`, expected a string"),
            (Tool, {"name": 1.5, "description": "d"}, "invalid type: floating point `1.5`, expected a string"),
            (Tool, {"name": "t", "description": "d", "parameters": [5]}, "invalid type: integer `5`, expected struct Parameter"),
            (Tool, {"name": "t", "description": "d", "source": {"language": "sh"}}, "missing field `code`"),
            (Tool, "abc", 'invalid type: string "abc", expected struct Tool'),
            (Tool, None, "invalid type: null, expected struct Tool"),
            (Tool, [], "invalid length 1, expected struct Tool with 8 elements"),
            (Tool, ["t"], "invalid length 1, expected struct Tool with 8 elements"),
            (Tool, [None, "t"], "invalid length 2, expected struct Tool with 8 elements"),
            (Tool, [None, "t", "d", [], None, None, None, None, None], "invalid length 9, expected fewer elements in array"),
            (Parameter, {"name": "x", "description": "d", "param_type": "string"}, "missing field `type`"),
            (Parameter, ["x", "d"], "invalid length 2, expected struct Parameter with 3 elements"),
            (SourceCode, ["sh"], "invalid length 1, expected struct SourceCode with 2 elements"),
            (SourceCode, {"code": "x"}, "missing field `language`"),
            (SourceCode, 7, "invalid type: integer `7`, expected struct SourceCode"),
        ],
    )
    def test_decoder_errors(self, cls, data, message):
        with pytest.raises(ValueError) as exc_info:
            cls.from_dict(data)
        assert str(exc_info.value) == message
        assert notes(exc_info) == []
