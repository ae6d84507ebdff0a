"""Constructors that build the record in place agree with those that call a
typed body: same values, same binder texts, same conversion errors and notes,
through both entries (calling the class, and an explicit `__new__`)."""
import sys

import pytest

import _binding_probe as probe

InPlace, ByBody, Part, D = probe.InPlace, probe.ByBody, probe.Part, probe.Decision


class Text(str):
    pass


class Numbers(list):
    pass


def ways(cls):
    """Both ways into a constructor."""
    return [lambda *a, **k: cls(*a, **k), lambda *a, **k: cls.__new__(cls, *a, **k)]


def outcome(call, cls):
    try:
        return "ok", call().values()
    except Exception as error:  # the comparison is the test
        return type(error), str(error).replace(cls.__name__, "<class>"), getattr(error, "__notes__", None)


LONG = "x" * 100
BASE = dict(flag=True, numbers=[1])

CASES = [
    # (id, args, kwargs, expected: "ok" or the exception type)
    ("minimal", ("t", 1), BASE, "ok"),
    ("everything", ("t", -2**31, "m"),
     dict(flag=False, numbers=(3, 4), parts=[Part("a"), Part("b"), Part("a")], decisions=[D.DENY, D.ALLOW],
          part=Part("c"), decision=D.ALLOW, strmap={"k": "v"}), "ok"),
    ("explicit defaults", ("t", 1, None), dict(BASE, decisions=None, part=None, decision=None, strmap=None), "ok"),
    ("texts of every width", ("", 2**31 - 1, "héllo ✓ 𝄞"), dict(BASE, parts=[Part(LONG), Part("ü" * 40)]), "ok"),
    ("str subclass and long text", (Text("sub"), 1, LONG), BASE, "ok"),
    ("any sequence", ("t", 1), dict(flag=True, numbers=range(3), parts=(Part("x"),) * 2), "ok"),
    ("list subclass", ("t", 1), dict(flag=True, numbers=Numbers([5, 6])), "ok"),
    ("empty lists", ("t", 1), dict(flag=True, numbers=[], parts=[], decisions=[]), "ok"),
    ("missing", (), {}, TypeError),
    ("missing keyword", ("t", 1), dict(flag=True), TypeError),
    ("too many", ("t", 1, None, 4), BASE, TypeError),
    ("unexpected keyword", ("t", 1), dict(BASE, omega=1), TypeError),
    ("multiple values", ("t", 1), dict(BASE, text="u"), TypeError),
    ("text not str", (1, 1), BASE, TypeError),
    ("text with a lone surrogate", ("\udc80", 1), BASE, UnicodeEncodeError),
    ("number not int", ("t", "1"), BASE, TypeError),
    ("number too large", ("t", 2**31), BASE, OverflowError),
    ("maybe not str", ("t", 1, 2), BASE, TypeError),
    ("flag not bool", ("t", 1), dict(BASE, flag=1), TypeError),
    ("numbers a str", ("t", 1), dict(BASE, numbers="12"), TypeError),
    ("numbers None", ("t", 1), dict(BASE, numbers=None), TypeError),
    ("numbers a set", ("t", 1), dict(BASE, numbers={1}), TypeError),
    ("numbers bad element", ("t", 1), dict(BASE, numbers=[1, "x"]), TypeError),
    ("numbers bad element in a tuple", ("t", 1), dict(BASE, numbers=(1, 2**40)), OverflowError),
    ("parts bad element", ("t", 1), dict(BASE, parts=[Part("a"), "b"]), TypeError),
    ("parts None", ("t", 1), dict(BASE, parts=None), TypeError),
    ("decisions bad element", ("t", 1), dict(BASE, decisions=["allow"]), TypeError),
    ("part of another class", ("t", 1), dict(BASE, part=D.ALLOW), TypeError),
    ("decision an int", ("t", 1), dict(BASE, decision=0), TypeError),
    ("strmap bad value", ("t", 1), dict(BASE, strmap={"k": 1}), TypeError),
    ("first wrong argument wins", (1, 1), dict(BASE, part="x"), TypeError),
    ("late failure after filled fields", ("t", 1, "m"), dict(BASE, parts=[Part(LONG)], strmap=[]), TypeError),
]


@pytest.mark.parametrize("args, kwargs, expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_in_place_agrees_with_body(args, kwargs, expected):
    results = [outcome(lambda: call(*args, **kwargs), cls) for cls in (InPlace, ByBody) for call in ways(cls)]
    assert all(result == results[0] for result in results), results
    assert results[0][0] == expected


@pytest.mark.parametrize("change", [
    lambda items: items.clear(),
    lambda items: items.append(7),
    lambda items: items.__setitem__(2, "x"),
], ids=["shrinks", "grows", "gets a bad element"])
def test_list_changed_while_converting_reads_like_its_iterator(change):
    # Exact lists are read by index; a list subclass goes through its iterator.
    results = []
    for kind in (list, Numbers):
        items = kind()

        class Hook:
            def __index__(self):
                change(items)
                return 0

        items.extend([Hook(), 1, 2])
        results.append(outcome(lambda: InPlace("t", 1, flag=True, numbers=items), InPlace))
    assert results[0] == results[1]


def test_failed_constructions_release_their_objects():
    part = Part("p")
    before = sys.getrefcount(InPlace), sys.getrefcount(part)
    for _ in range(100):
        with pytest.raises(TypeError):
            InPlace("t", 1, "m", flag=True, numbers=[1], parts=[part], part=part, strmap=[])
    assert (sys.getrefcount(InPlace), sys.getrefcount(part)) == before


def test_in_place_values():
    made = InPlace("t", 7, "m", flag=True, numbers=(1, 2), parts=[Part("a")], decisions=[D.DENY], part=Part("b"),
                   decision=D.ALLOW, strmap={"k": "v"})
    assert made.values() == ("t", 7, "m", True, [1, 2], ["a"], [1], "b", 0, {"k": "v"})
    assert InPlace("t", 7, flag=False, numbers=[]).values() == ("t", 7, None, False, [], [], [], None, None, None)
