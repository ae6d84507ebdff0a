"""`to_dict()` writes records straight into Python objects from their
description; this checks, for sample records with every field kind and write
rule, that the result equals the conversion of the JSON form in keys, key
order, values and value types."""
import math

import pytest

import _convert_probe as probe


def shape(value):
    """Value with its types made explicit (1, 1.0 and True differ; key order counts)."""
    if isinstance(value, dict):
        return ("dict", [(type(k).__name__, k, shape(v)) for k, v in value.items()])
    if isinstance(value, list):
        return ("list", [shape(v) for v in value])
    if isinstance(value, float):
        return ("float", math.copysign(1.0, value), repr(value))
    return (type(value).__name__, value)


PAIRS = probe.pairs()


@pytest.mark.parametrize("direct, via_json", PAIRS, ids=[f"sample{i}" for i in range(len(PAIRS))])
def test_direct_writer_matches_the_json_form(direct, via_json):
    assert shape(direct) == shape(via_json)


def test_samples_cover_the_write_rules():
    default, full = PAIRS[0][0], PAIRS[1][0]
    assert "note" not in default and "tags" not in default and "flag" not in default
    assert default["always_note"] is None
    assert full["flag"] is True and full["note"] == "" and full["tags"] == ["x", "", "y"]
    assert full["inners"] == [{"name": "a", "rank": 1}, {"name": "b"}]
    assert full["opaque"] == {"opaque": "o"}
    assert [pair[0]["score"] for pair in PAIRS[2:5]] == [None, None, None]
