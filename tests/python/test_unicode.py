"""Repr escaping over every code point, checked against the Unicode Character
Database files of Debian's unicode-data package (the Unicode version of the
module's ICU)."""
import pathlib

import pytest

from tavimor_revizer_client import Parameter

UCD = pathlib.Path("/usr/share/unicode")
ESCAPED_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}
NAMED_ESCAPES = {'"': '\\"', "\\": "\\\\", "\0": "\\0", "\t": "\\t", "\n": "\\n", "\r": "\\r"}


def ucd_categories():
    categories = ["Cn"] * 0x110000
    first = None
    for line in (UCD / "UnicodeData.txt").read_text().splitlines():
        fields = line.split(";")
        cp, name, category = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(", First>"):
            first = cp
            continue
        start = first if name.endswith(", Last>") else cp
        categories[start : cp + 1] = [category] * (cp + 1 - start)
    return categories


def ucd_property(filename, prop):
    members = set()
    for line in (UCD / filename).read_text().splitlines():
        line = line.split("#")[0]
        if ";" not in line or line.split(";")[1].strip() != prop:
            continue
        first, _, last = line.split(";")[0].strip().partition("..")
        members.update(range(int(first, 16), int(last or first, 16) + 1))
    return members


def expected_escape(cp, categories, grapheme_extend):
    ch = chr(cp)
    if ch in NAMED_ESCAPES:
        return NAMED_ESCAPES[ch]
    if cp != 0x20 and (cp in grapheme_extend or categories[cp] in ESCAPED_CATEGORIES):
        return "\\u{%x}" % cp
    return ch


@pytest.mark.skipif(not (UCD / "UnicodeData.txt").exists(), reason="Debian package unicode-data not installed")
def test_repr_escapes_every_code_point_by_category_and_grapheme_extend():
    categories = ucd_categories()
    grapheme_extend = ucd_property("DerivedCoreProperties.txt", "Grapheme_Extend")
    # Escapes do not depend on neighbours, so code points can be checked in
    # blocks; surrogates cannot travel in a Python str that encodes to UTF-8.
    block = 4096
    for start in range(0, 0x110000, block):
        cps = [cp for cp in range(start, start + block) if not 0xD800 <= cp <= 0xDFFF]
        text = "".join(map(chr, cps))
        want = "".join(expected_escape(cp, categories, grapheme_extend) for cp in cps)
        got = repr(Parameter(text, "", ""))
        assert got == f'Parameter(name="{want}", type="")', f"block U+{start:04X}"
