import gc
import sys
import inspect
import weakref

import pytest

import _binding_probe as probe
import tavimor_revizer_client as m

P = probe.Probe


def make(**overrides):
    kwargs = {"delta": True, "epsilon": ["e"], **overrides}
    return P("a", 1, **kwargs)


@pytest.mark.parametrize("call, message", [
    (lambda: P(), "Probe.__new__() missing 2 required positional arguments: 'alpha' and 'beta'"),
    (lambda: P("a"), "Probe.__new__() missing 1 required positional argument: 'beta'"),
    (lambda: P("a", 1), "Probe.__new__() missing 2 required keyword arguments: 'delta' and 'epsilon'"),
    (lambda: P("a", 1, delta=True), "Probe.__new__() missing 1 required keyword argument: 'epsilon'"),
    (lambda: P("a", 1, None, 2), "Probe.__new__() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda: P("a", 1, alpha="b"), "Probe.__new__() got multiple values for argument 'alpha'"),
    (lambda: P("a", 1, omega=1), "Probe.__new__() got an unexpected keyword argument 'omega'"),
    (lambda: P("a", 1, **{"\udc80": 1}), "Probe.__new__() got an unexpected keyword argument '\udc80'"),
    (lambda: P.join(), "Probe.join() missing 3 required positional arguments: 'first', 'second', and 'third'"),
    (lambda: P.join(1, third=3), "Probe.join() missing 1 required positional argument: 'second'"),
    (lambda: P.join(1, 2, 3, 4), "Probe.join() takes 3 positional arguments but 4 were given"),
    (lambda: P.keywords(), "Probe.keywords() missing 3 required keyword arguments: 'a', 'b', and 'c'"),
    (lambda: P.keywords(1), "Probe.keywords() takes 0 positional arguments but 1 was given"),
    (lambda: P.keywords(c="c", d="d"), "Probe.keywords() missing 2 required keyword arguments: 'a' and 'b'"),
    (lambda: make().with_suffix(), "Probe.with_suffix() missing 1 required positional argument: 'suffix'"),
    (lambda: probe.probe_function(), "probe_function() missing 1 required positional argument: 'a'"),
    (lambda: probe.probe_function(1, 2, 3), "probe_function() takes from 1 to 2 positional arguments but 3 were given"),
    # a repeated argument is found before the missing ones
    (lambda: P.join(1, first=1), "Probe.join() got multiple values for argument 'first'"),
    (lambda: m.Decision(), "Decision.__new__() missing 1 required positional argument: 'value'"),
    (lambda: m.Decision("a", "b"), "Decision.__new__() takes 1 positional arguments but 2 were given"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
    assert not hasattr(caught.value, "__notes__")


def test_arguments_bind_by_position_and_keyword():
    assert P.join(1, third=3, second=2) == (1, 2, 3)
    assert P(beta=2, alpha="x", epsilon=(), delta=False).values() == ("x", 2, None, False, [])
    assert P("x", 2, "g", delta=True, epsilon=["e"]).values() == ("x", 2, "g", True, ["e"])
    assert probe.probe_function("a") == ("a", None)
    assert probe.probe_function.__module__ == "_binding_probe"


@pytest.mark.parametrize("kwargs, error, message, note", [
    ({"i32": 2**31}, OverflowError, "out of range integral type conversion attempted", "i32"),
    ({"i32": -2**31 - 1}, OverflowError, "out of range integral type conversion attempted", "i32"),
    ({"i32": 2**64}, OverflowError, None, "i32"),
    ({"i32": 1.5}, TypeError, None, "i32"),
    ({"u32": -1}, OverflowError, "out of range integral type conversion attempted", "u32"),
    ({"u32": 2**32}, OverflowError, "out of range integral type conversion attempted", "u32"),
    ({"f64": "0.5"}, TypeError, None, "f64"),
    ({"flag": 1}, TypeError, "'int' object is not an instance of 'bool'", "flag"),
    ({"texts": "abc"}, TypeError, "Can't extract `str` to `Vec`", "texts"),
    ({"texts": None}, TypeError, "'None' is not an instance of 'Sequence'", "texts"),
    ({"texts": {"a"}}, TypeError, "'set' object is not an instance of 'Sequence'", "texts"),
    ({"texts": (x for x in "a")}, TypeError, "'generator' object is not an instance of 'Sequence'", "texts"),
    ({"texts": [1]}, TypeError, "'int' object is not an instance of 'str'", "texts"),
    ({"opt_texts": [None]}, TypeError, "'None' is not an instance of 'str'", "opt_texts"),
    ({"indices": [-1]}, OverflowError, "out of range integral type conversion attempted", "indices"),
    ({"floats": [1, "x"]}, TypeError, None, "floats"),
    ({"strmap": {"k": 1}}, TypeError, "'int' object is not an instance of 'str'", "strmap"),
    ({"strmap": {"k": None}}, TypeError, "'None' is not an instance of 'str'", "strmap"),
    ({"strmap": [("k", "v")]}, TypeError, "'list' object is not an instance of 'dict'", "strmap"),
    ({"decision": "allow"}, TypeError, "'str' object is not an instance of 'Decision'", "decision"),
    ({"decision": 0}, TypeError, "'int' object is not an instance of 'Decision'", "decision"),
    ({"probe": "x"}, TypeError, "'str' object is not an instance of 'Probe'", "probe"),
    ({"probe": probe.Decision.ALLOW}, TypeError, "'Decision' object is not an instance of 'Probe'", "probe"),
    # two wrong arguments: the first in the table is reported
    ({"flag": 1, "i32": "x"}, TypeError, "'str' object cannot be interpreted as an integer", "i32"),
])
def test_conversion_errors_keep_their_text_and_get_one_note(kwargs, error, message, note):
    with pytest.raises(error) as caught:
        P.convert(**kwargs)
    if message is not None:
        assert str(caught.value) == message
    assert caught.value.__notes__ == [f"while processing '{note}'"]


def test_conversions():
    class Index:
        def __index__(self):
            return 7

    class Seq:
        def __len__(self):
            return 10**30  # a useless size hint must not abort the call

        def __getitem__(self, i):
            if i >= 2:
                raise IndexError
            return str(i)

    x = make()
    got = P.convert(i32=-2**31, u32=2**32 - 1, f64=True, flag=False, texts=Seq(), floats=(1, 2.5, Index()),
                    indices=b"\x00\x01", strmap={"k": "v"}, decision=probe.Decision.DENY, probe=x)
    assert got == {"i32": -2**31, "u32": 2**32 - 1, "f64": 1.0, "flag": False, "texts": ["0", "1"],
                   "opt_texts": [], "floats": [1.0, 2.5, 7.0], "indices": [0, 1], "strmap": {"k": "v"},
                   "decision": 1, "probe": "a"}
    assert P.convert(i32=Index(), opt_texts=None, strmap=None, decision=None)["i32"] == 7
    assert P.convert(texts=range(0))["texts"] == []


def test_panic_is_a_base_exception_outside_the_module():
    assert issubclass(probe.PanicException, BaseException)
    assert not issubclass(probe.PanicException, Exception)
    assert probe.PanicException.__doc__
    with pytest.raises(probe.PanicException, match="^probe panicked$"):
        try:
            P.panic()
        except Exception:  # must not catch it
            pytest.fail("the panic exception was caught as Exception")
    with pytest.raises(MemoryError):
        P.out_of_memory()
    assert not any("Panic" in name for name in vars(m))


def test_every_comparison_code_reaches_the_body():
    x = make()
    assert [x < 0, x <= 0, x == 0, x != 0, x > 0, x >= 0] == [0, 1, 2, 3, 4, 5]


def test_methods_properties_and_docs():
    x = make()
    assert x.alpha == "a" and x.with_suffix("!") == "a!" and repr(x) == "Probe(a)"
    assert P.__text_signature__ == "(alpha, beta, gamma=None, *, delta, epsilon)"
    assert P.__doc__ == "Binder probe."
    assert P.values.__text_signature__ == "($self)" and P.values.__doc__ is None
    assert P.alpha.__doc__ == "The first argument."
    assert x.join(1, 2, 3) == P.join(1, 2, 3)  # static: on the class and on an instance
    with pytest.raises(AttributeError):
        x.alpha = "b"


def test_class_without_constructor_is_made_only_by_native_code():
    with pytest.raises(TypeError, match="cannot create 'builtins.Opaque' instances"):
        probe.Opaque()
    made = P.opaque()
    assert type(made) is probe.Opaque and repr(made) == "Opaque(hidden)"
    assert probe.Opaque.__text_signature__ is None
    assert probe.Opaque.__doc__ == "Made only by Probe.opaque()."


def module_classes():
    return [getattr(m, name) for name in m.__all__ if isinstance(getattr(m, name), type)]


def instances_of(cls):
    if cls.__name__ in {"Probe"}:
        return [make()]
    return [value for name, value in vars(cls).items() if name.isupper() and type(value) is cls]


@pytest.mark.parametrize("cls", module_classes() + [P, probe.Opaque], ids=lambda c: c.__name__)
def test_type_objects(cls):
    assert cls.__module__ == "builtins"
    assert cls.__mro__ == (cls, object)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    for instance in instances_of(cls):
        assert not gc.is_tracked(instance)
        with pytest.raises(AttributeError):
            instance.anything = 1
        with pytest.raises(TypeError):
            weakref.ref(instance)
        if cls.__eq__ is not object.__eq__:
            with pytest.raises(TypeError):
                hash(instance)


def _callables_with_signatures(cls):
    if cls.__text_signature__ is not None:
        yield f"{cls.__name__}.__new__()", cls
    for name, value in vars(cls).items():
        if isinstance(value, staticmethod) and getattr(value.__func__, "__text_signature__", None):
            yield f"{cls.__name__}.{name}()", getattr(cls, name)


def _expected_missing(display, params):
    for kind, word in [(inspect.Parameter.POSITIONAL_OR_KEYWORD, "positional"),
                       (inspect.Parameter.KEYWORD_ONLY, "keyword")]:
        names = [f"'{p.name}'" for p in params if p.kind is kind and p.default is inspect.Parameter.empty]
        if names:
            joined = names[0] if len(names) == 1 else (
                " and ".join(names) if len(names) == 2 else ", ".join(names[:-1]) + ", and " + names[-1])
            plural = "argument" if len(names) == 1 else "arguments"
            return f"{display} missing {len(names)} required {word} {plural}: {joined}"
    return None


@pytest.mark.parametrize("cls", module_classes() + [P], ids=lambda c: c.__name__)
def test_text_signatures_agree_with_the_binder(cls):
    for display, target in _callables_with_signatures(cls):
        params = list(inspect.signature(target).parameters.values())
        expected = _expected_missing(display, params)
        if expected is not None:
            with pytest.raises(TypeError) as caught:
                target()
            assert str(caught.value) == expected
        if not params:
            continue  # no-argument callables are the interpreter's METH_NOARGS
        positional = [p for p in params if p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD]
        with pytest.raises(TypeError) as caught:
            target(*range(len(positional) + 1))
        assert f"{display} takes " in str(caught.value)
        assert f"{len(positional)} positional arguments but {len(positional) + 1}" in str(caught.value)


def test_references_dropped_on_unattached_threads_wait_for_the_next_entry():
    value = object()
    before = sys.getrefcount(value)
    P.release_elsewhere(value)
    assert sys.getrefcount(value) == before + 1  # queued, not released
    P.join(1, 2, 3)  # any entry applies the queue
    assert sys.getrefcount(value) == before
