"""Every data class in `__all__`, as it arrives: `to_dict` equals the JSON form
read back as Python, the fast and the general `from_dict` agree on valid and
invalid input (errors included), and equality and repr behave.

The classes come from `_conformance_probe`, the module's own code registered
under another name with the JSON-form-only paths beside it. A sample object
of each class is built by calling its constructor (or a static factory) and
correcting one argument at a time from the binding layer's own messages, so
a new class needs nothing here."""
import inspect
import math
import re

import pytest

import _conformance_probe as probe

CLASSES = [getattr(probe, name) for name in probe.__all__ if isinstance(getattr(probe, name), type)]
ENUMS = {cls for cls in CLASSES if "__int__" in vars(cls)}
DATA_CLASSES = [cls for cls in CLASSES if cls not in ENUMS and "to_dict" in vars(cls)]
BY_NAME = {cls.__name__: cls for cls in CLASSES}

EXPECTED = re.compile(r"^(?:'[^']*' object|'None') is not an instance of '(\w+)'$")
# A decoder's message for an argument read through a record's dict form.
EXPECTED_DICT = re.compile(r"expected struct (\w+)")


def strict(value):
    """A form of `value` in which 1, 1.0 and True differ and key order counts."""
    if isinstance(value, dict):
        return ("dict", [(key, strict(item)) for key, item in value.items()])
    if isinstance(value, list):
        return ("list", [strict(item) for item in value])
    if isinstance(value, float) and math.isnan(value):
        return ("float", "nan")
    return (type(value).__name__, value)


# --- samples -----------------------------------------------------------------

def guess_for(expected, current, depth):
    """A value of the kind an error message asked for, inside a list when the
    argument is one already."""
    if expected == "str":
        value = "text"
    elif expected == "bool":
        value = True
    elif expected == "dict":
        value = {"key": "value"}
    elif expected == "Sequence":
        return ["text"]
    elif expected in BY_NAME and BY_NAME[expected] in ENUMS:
        value = list(v for k, v in vars(BY_NAME[expected]).items() if k.isupper())[-1]
    elif expected in BY_NAME:
        value = sample(BY_NAME[expected], depth + 1)
        if value is None:
            return None
    else:
        return None
    return [value] if isinstance(current, list) else value


def correction(error, current, depth):
    message = str(error)
    if message.startswith("event must be one of: "):  # Event's payload: the first class it names
        return guess_for(message[len("event must be one of: "):].split(",")[0], current, depth)
    if message == "Can't extract `str` to `Vec`":
        return ["text"]
    match = EXPECTED.match(message)
    if match:
        return guess_for(match.group(1), current, depth)
    if isinstance(error, OverflowError) or "interpreted as an integer" in message:
        return [3] if isinstance(current, list) else 3
    if "real number" in message or "float" in message:
        return [2.5] if isinstance(current, list) else 2.5
    return None


def build(callable_, depth):
    """Calls `callable_` with every parameter given, fixing the first failing
    argument from its error until the call succeeds; optional arguments that
    cannot be fixed are left out."""
    try:
        params = list(inspect.signature(callable_).parameters.values())
    except (TypeError, ValueError):
        return None
    args = {p.name: "text" for p in params}
    optional = [p.name for p in params if p.default is not inspect.Parameter.empty]
    for _ in range(60):
        try:
            return callable_(**args)
        except (TypeError, ValueError, OverflowError) as error:
            notes = getattr(error, "__notes__", [])
            name = notes[0][len("while processing '"):-1] if notes else None
            if name is None and str(error).startswith("event must be one of: "):
                name = "event"  # Event checks its payload in the body, without a note
            fixed = correction(error, args.get(name), depth) if name in args else None
            wanted = EXPECTED_DICT.search(str(error)) if name is None else None
            texts = [p.name for p in reversed(params) if args.get(p.name) == "text"]
            if fixed is not None and repr(fixed) != repr(args[name]):
                args[name] = fixed
            elif wanted and wanted.group(1) in BY_NAME and texts and sample(BY_NAME[wanted.group(1)], depth + 1):
                # A body read a dict argument (the last one still a text).
                args[texts[0]] = sample(BY_NAME[wanted.group(1)], depth + 1).to_dict()
            elif name in optional and name in args:
                del args[name]
            elif name is None and any(o in args for o in optional):
                del args[[o for o in optional if o in args][-1]]
            else:
                return None
    return None


_samples = {}

# Classes whose arguments take a record in its dict form (any object, so no
# error says what to give): built from a sample of that record.
FROM_DICT_FORM = {
    "Scanned": lambda depth: BY_NAME["Scanned"].transcript_digest(
        "evt-1", sample(BY_NAME["TranscriptDigest"], depth + 1).to_dict()),
}


def sample(cls, depth=0):
    if cls in _samples:
        return _samples[cls]
    if depth > 6:
        return None
    made = FROM_DICT_FORM[cls.__name__](depth) if cls.__name__ in FROM_DICT_FORM else build(cls, depth)
    if made is None:
        for name, member in vars(cls).items():
            if isinstance(member, staticmethod) or (callable(member) and name not in ("from_dict", "to_dict")):
                candidate = build(getattr(cls, name), depth) if not name.startswith("_") else None
                if type(candidate) is cls:
                    made = candidate
                    break
    _samples[cls] = made
    return made


def sample_of(cls):
    made = sample(cls)
    if made is None:
        pytest.skip(f"no public way to build a {cls.__name__} without data")
    return made


# --- the checks --------------------------------------------------------------

@pytest.mark.parametrize("cls", DATA_CLASSES, ids=lambda c: c.__name__)
def test_to_dict_is_the_json_form(cls):
    obj = sample_of(cls)
    assert strict(obj.to_dict()) == strict(probe.to_dict_by_json(obj))


def outcome(call, *args):
    try:
        made = call(*args)
    except Exception as error:  # noqa: BLE001 - the error is what is compared
        return ("error", type(error).__name__, str(error))
    return ("ok", type(made).__name__, strict(made.to_dict()))


BAD_VALUES = [None, True, 0, -1, 2**32, 2**64, 1.5, float("nan"), "x", [], {}, ["x"], [{}], {"x": 1}, [[1]]]


def variants(data):
    """The dict form of a sample and broken versions of it: each key left out
    or given a value of every kind, at the top and one level down."""
    yield data
    yield {**data, "unknown_key": 1}
    yield {**data, "unknown_key": {"deep": [1, "x"]}}
    yield list(data.values())
    for bad in (None, "x", 1, [], [None]):
        yield bad
    for key, value in data.items():
        yield {k: v for k, v in data.items() if k != key}
        for bad in BAD_VALUES:
            yield {**data, key: bad}
        inner = value[0] if isinstance(value, list) and value and isinstance(value[0], dict) else value
        if isinstance(inner, dict):
            for inner_key in inner:
                for bad in (None, 1, "x", [], {}):
                    broken = {**inner, inner_key: bad}
                    yield {**data, key: [broken] if isinstance(value, list) else broken}


@pytest.mark.parametrize("cls", [c for c in DATA_CLASSES if "from_dict" in vars(c)], ids=lambda c: c.__name__)
def test_fast_and_general_from_dict_agree(cls):
    data = sample_of(cls).to_dict()
    assert outcome(cls.from_dict, data)[0] == "ok"
    for case in variants(data):
        assert outcome(cls.from_dict, case) == outcome(probe.from_dict_by_json, cls, case), case


@pytest.mark.parametrize("cls", DATA_CLASSES, ids=lambda c: c.__name__)
def test_equality_and_repr(cls):
    obj = sample_of(cls)
    text = repr(obj)
    # "Tool(...)", or "AgentCard.react(...)" for a union shown by its factory.
    assert re.fullmatch(rf"{cls.__name__}[(.].*\)", text, re.S) and str(obj) == text
    if "__eq__" not in vars(cls):
        return  # identity equality, as the class's Part says
    assert obj == obj and not (obj != obj)
    assert (obj == "x") is False and (obj != "x") is True
    if "from_dict" in vars(cls):
        again = cls.from_dict(obj.to_dict())
        assert again == obj and again is not obj
    with pytest.raises(TypeError):
        obj < obj  # noqa: B015
    with pytest.raises(TypeError):
        hash(obj)


def test_every_data_class_has_a_sample_or_a_reason():
    missing = [cls.__name__ for cls in DATA_CLASSES if sample(cls) is None]
    # Objects of these come only from properties of others or from decoding;
    # Scanned reads its result from a dict form that no error message names.
    assert set(missing) <= {"PolicyProvenance", "PolicySetProvenance", "Scanned"}
