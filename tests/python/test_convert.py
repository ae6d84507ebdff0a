"""Conversion between Python objects and JSON values, seen through
`from_dict` (py_to_json, then the record decoder) and `to_dict`."""
import decimal

import pytest

from tavimor_revizer_client import Decision, Parameter, SourceCode, Tool, ToolCall


def name_after_conversion(value):
    """The text a value becomes when it stands where a string is decoded."""
    return Tool.from_dict({"name": value, "description": "d"}).name


def decoder_error(value):
    with pytest.raises(ValueError) as exc_info:
        Tool.from_dict({"name": value, "description": "d"})
    return str(exc_info.value)


class Weird:
    def __str__(self):
        return "weird object"


@pytest.mark.parametrize(
    "value, text",
    [
        (float("nan"), "nan"),
        (float("inf"), "inf"),
        (float("-inf"), "-inf"),
        ((1, 2), "(1, 2)"),
        ({1}, "{1}"),
        (b"x", "b'x'"),
        (Weird(), "weird object"),
        (Decision.ALLOW, "allow"),
        (SourceCode("sh", "ls"), 'SourceCode(language="sh")'),
        ("caf\u00e9 \U0001F600", "caf\u00e9 \U0001F600"),
        ("a\ud800b", "a\ufffdb"),
    ],
)
def test_objects_without_a_json_kind_become_their_text(value, text):
    assert name_after_conversion(value) == text


@pytest.mark.parametrize(
    "value, found",
    [
        (True, "boolean `true`"),
        (False, "boolean `false`"),
        (None, "null"),
        (1, "integer `1`"),
        (2**63, "integer `9223372036854775808`"),
        (2**64 - 1, "integer `18446744073709551615`"),
        (-(2**63), "integer `-9223372036854775808`"),
        (1.0, "floating point `1.0`"),
        (decimal.Decimal("1.5"), "floating point `1.5`"),
        ([1], "sequence"),
        ({"a": 1}, "map"),
    ],
)
def test_json_kinds_reach_the_decoder(value, found):
    assert decoder_error(value) == f"invalid type: {found}, expected a string"


def test_int_subclass_and_float_subclass_are_numbers():
    class I(int):
        pass

    class F(float):
        pass

    assert decoder_error(I(3)) == "invalid type: integer `3`, expected a string"
    assert decoder_error(F(0.5)) == "invalid type: floating point `0.5`, expected a string"


@pytest.mark.parametrize("number", [2**64, -(2**63) - 1, 10**40])
def test_integers_outside_64_bits(number):
    with pytest.raises(ValueError) as exc_info:
        Tool.from_dict({"name": number})
    assert str(exc_info.value) == (
        f"integer out of range for JSON number: {number} is outside signed or unsigned 64-bit range"
    )


def test_dict_and_list_subclasses_convert_like_their_bases():
    class D(dict):
        pass

    class L(list):
        pass

    tool = Tool.from_dict(D(name="t", description="d", parameters=L([D(name="x", description="y", type="z")])))
    assert tool == Tool("t", "d", [Parameter("x", "y", "z")])


def test_dict_keys_must_be_str():
    with pytest.raises(TypeError) as exc_info:
        Tool.from_dict({"name": "t", 1: "d"})
    assert str(exc_info.value) == "'int' object is not an instance of 'str'"


def test_str_failure_passes_unchanged():
    class Broken:
        def __str__(self):
            raise KeyError("no text")

    with pytest.raises(KeyError):
        Tool.from_dict({"name": Broken()})


def test_dict_changed_while_walked_raises_the_panic_exception():
    data = {"name": None, "description": "d"}

    class Mutator:
        def __str__(self):
            data["extra"] = 1
            return "m"

    data["name"] = Mutator()
    with pytest.raises(BaseException) as exc_info:
        Tool.from_dict(data)
    assert not isinstance(exc_info.value, Exception)
    assert str(exc_info.value) == "dictionary changed size during iteration"


@pytest.mark.parametrize("make", ["self_list", "self_dict", "deep_list", "deep_dict"])
def test_self_reference_and_depth_raise_recursion_error(make):
    if make == "self_list":
        data = []
        data.append(data)
    elif make == "self_dict":
        data = {}
        data["name"] = data
    else:
        data = "leaf"
        for _ in range(200_000):
            data = [data] if make == "deep_list" else {"name": data}
    with pytest.raises(RecursionError):
        Tool.from_dict(data)


def test_nesting_below_the_guard_converts():
    data = "leaf"
    for _ in range(200):
        data = [data]
    with pytest.raises(ValueError) as exc_info:
        Tool.from_dict({"name": "t", "description": "d", "parameters": [data]})
    assert str(exc_info.value) == "invalid type: sequence, expected a string"


def test_from_dict_of_a_string_raises_the_decoder_text():
    with pytest.raises(ValueError) as exc_info:
        Parameter.from_dict("abc")
    assert str(exc_info.value) == 'invalid type: string "abc", expected struct Parameter'


def test_to_dict_gives_fresh_plain_objects_in_key_order():
    tool = Tool("t", "d", [Parameter("a", "b", "c")], source=SourceCode("sh", "ls"))
    first, second = tool.to_dict(), tool.to_dict()
    assert first == second and first is not second
    assert type(first) is dict and type(first["parameters"]) is list
    first["parameters"].clear()
    assert tool.to_dict()["parameters"] == [{"name": "a", "description": "b", "type": "c"}]
    assert list(tool.to_dict()) == ["name", "description", "parameters", "source"]


# Texts around the shared-str cache's limits: every length up to past the
# cached maximum, ASCII and not, as record fields and inside JSON values, each
# converted twice (the second time from the cache) and among many neighbours
# that share slots.
TEXTS = [("abcdefghij" * 8)[:n] for n in range(0, 81)] + [
    "é", "aé", "abcdefgé", "é" * 40, "x\x00y", "\x7f" * 9, "日本語テキスト", "😀" * 3]


def test_texts_convert_unchanged_through_the_shared_str_cache():
    for _ in range(2):
        for text in TEXTS:
            tool = Tool(text, text, [Parameter(text, "d", "t")])
            d = tool.to_dict()
            assert d["name"] == text and d["description"] == text and d["parameters"][0]["name"] == text
            assert type(d["name"]) is str
            assert ToolCall("t", {text: [text]}, call_id="c").to_dict()["arguments"] == {text: [text]}
    neighbours = [f"value-{i}" for i in range(5000)]
    assert [Parameter(t, t, t).to_dict()["name"] for t in neighbours] == neighbours
    assert [Parameter(t, t, t).to_dict()["name"] for t in reversed(neighbours)] == neighbours[::-1]
    # About as many texts as the cache holds, twice over: texts that share a
    # set alternate between its two slots.
    some = neighbours[:700] * 2
    assert [Parameter(t, t, t).to_dict()["name"] for t in some] == some
