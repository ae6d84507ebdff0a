"""`from_dict` reads plain data straight into the record when it can, and
otherwise converts to a JSON value and decodes. For a table of inputs this
checks that whenever the fast reader takes an input, its record equals the
general path's, and that it steps aside (raising nothing) everywhere else,
so every conversion and error still comes from the general path."""
import math

import pytest

import _convert_probe as probe

from test_record_to_py import shape


class Text(str):
    pass


class Number(int):
    pass


class Weird:
    def __str__(self):
        return "weird"


def with_(**fields):
    return dict({"text": "t"}, **fields)


# (input, whether the fast reader takes it)
CASES = [
    (with_(), True),
    ({"text": "caf\u00e9 \U0001F600", "note": "a note longer than the short string buffer"}, True),
    (with_(flag=True, small=-(2**31), wide=-(2**63), count=2**32 - 1, big=2**63 - 1), True),
    (with_(score=1.5), True),
    (with_(score=-0.0), True),
    (with_(score=3), True),
    (with_(score=-(2**63)), True),
    (with_(note=None, inner=None, always_note=None), True),
    (with_(always_note="n", shown=True), True),
    (with_(inner={"name": "n", "rank": -3}), True),
    (with_(inner={"name": "n", "rank": None}), True),
    (with_(tags=[], inners=[]), True),
    (with_(tags=["a", ""], inners=[{"name": "a"}, {"rank": 2, "name": "b"}]), True),
    (with_(flag=False), True),
    # Refused by the decoder: the general path reports them.
    ({}, False),
    (with_(small=2**31), False),
    (with_(small=-(2**31) - 1), False),
    (with_(count=-1), False),
    (with_(count=2**32), False),
    (with_(flag=1), False),
    (with_(small=True), False),
    (with_(score=True), False),
    (with_(small=1.0), False),
    (with_(text=None), False),
    (with_(text=1), False),
    (with_(tags="ab"), False),
    (with_(inner={"rank": 1}), False),
    (with_(inner=[]), False),
    (with_(note=1), False),
    # Read by the general path only, successfully or not.
    (with_(big=2**63), False),
    (with_(big=2**64), False),
    (with_(score=2**64), False),
    (with_(score=float("nan")), False),
    (with_(score=float("inf")), False),
    (with_(text=Text("sub")), False),
    (with_(small=Number(3)), False),
    (with_(text=Weird()), False),
    (with_(text="a\ud800b"), False),
    (with_(tags=("a",)), False),
    (with_(inner=["n", 1]), False),
    (["t"], False),
    ({Text("text"): "t"}, False),
    ({"text": "t", 1: "x"}, False),
    ({"text": "t", "a\ud800": "x"}, False),
    (with_(unknown="fine", other=None, more=True, most=-1, last=1.5), True),
    ({"unknown": "first", "text": "t"}, True),
    (with_(unknown=2**63), False),
    (with_(unknown=2**64), False),
    (with_(unknown=Weird()), False),
    (with_(unknown=float("nan")), False),
    (with_(unknown="a\ud800b"), False),
    (with_(unknown=Text("x")), False),
    (with_(unknown=[]), False),
    (with_(unknown={}), False),
    (with_(inner={"name": "n", "extra": 1}), True),
    (with_(inner={"name": "n", "extra": [1]}), False),
    # JSON values and enumerations from plain data; anything else in them is
    # the general path's.
    (with_(data={"any": [1, None], "n": -(2**63), "u": 2**64 - 1, "f": 0.5, "t": "x", "b": True}), True),
    (with_(data={"big": 2**64}), False),
    (with_(data={"nan": float("nan")}), False),
    (with_(data={1: "x"}), False),
    (with_(data=("a",)), False),
    (with_(data=Text("x")), False),
    # Maps, boxed records and externally tagged unions, read straight where
    # the decoder would take them.
    (with_(labels={"b": 1, "a": -2}), True),
    (with_(labels={"a": 2**31}), False),
    (with_(labels={"a": "x"}), False),
    (with_(labels={1: 1}), False),
    (with_(labels=[]), False),
    (with_(by_name={}), True),
    (with_(by_name={"k": {"name": "n"}}), True),
    (with_(by_name={"k": {"rank": 1}}), False),
    (with_(boxed={"name": "b", "rank": 1}), True),
    (with_(boxed=None), True),
    (with_(boxed={"rank": 1}), False),
    (with_(boxed=["b"]), False),
    (with_(pick={"One": {"name": "n"}}), True),
    (with_(pick={"Many": ["a", "b"]}), True),
    (with_(pick=None), True),
    (with_(pick={"One": {"name": "n"}, "Many": []}), False),
    (with_(pick={}), False),
    (with_(pick="One"), False),
    (with_(pick={"Other": 1}), False),
    (with_(pick={"One": None}), False),
    (with_(pick={"Many": "ab"}), False),
    (with_(shade="dark"), True),
    (with_(shade="Dark"), False),
    (with_(shade={"dark": None}), False),
    (with_(opaque={}), False),
    ("text", False),
    (None, False),
    # Keys match by text as well as by the interned field key: keys made at
    # run time, in any order, or a str subclass (left to the general path).
    ({"".join(["te", "xt"]): "t", "".join(["fl", "ag"]): True}, True),
    (dict(reversed(list(with_(flag=True, score=2.5, note="n").items()))), True),
    ({"note": "n", "unknown": 1, "text": "t", "".join(["no", "te"]) + "s": None}, True),
    ({Text("text"): "t"}, False),
]


def general(data):
    try:
        return "ok", shape(probe.general(data))
    except Exception as e:  # noqa: BLE001 - the kind and text are what is compared
        return type(e).__name__, str(e)


@pytest.mark.parametrize("data, taken", CASES, ids=[f"case{i}" for i in range(len(CASES))])
def test_fast_reader_agrees_with_the_general_path(data, taken):
    fast = probe.fast(data)  # a leaked error would surface here as SystemError
    assert (fast is not None) == taken
    if taken:
        assert general(data) == ("ok", shape(fast))


def test_fast_reader_keeps_defaults_and_reads_fresh_records():
    assert probe.fast(with_())["inners"] == [{"name": "kept", "rank": 1}]
    assert probe.fast(with_(inners=[{"name": "x"}]))["inners"] == [{"name": "x"}]
    assert math.copysign(1.0, probe.fast(with_(score=-0.0))["score"]) == -1.0
