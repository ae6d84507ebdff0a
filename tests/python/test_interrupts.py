"""Where a conversion drops a failed attempt to try the next form, it drops
only Exceptions: KeyboardInterrupt, SystemExit and other BaseExceptions
raised by the caller's objects propagate unchanged."""
import pytest

from tavimor_revizer_client import Decision, Parameter, Tool


def raiser(error):
    def method(self, *args):
        raise error

    return method


def from_dict_name(value):
    """py_to_json of `value`, then decoded where a text is expected."""
    return Tool.from_dict({"name": value, "description": "d"}).name


NumpyBool = type("bool_", (), {"__module__": "numpy"})


def numpy_bool_raising(error):
    return type("bool_", (NumpyBool,), {"__module__": "numpy", "__bool__": raiser(error)})()


def object_raising(hook, error, text="fallback"):
    return type("Odd", (), {"__str__": lambda self: text, hook: raiser(error)})()


@pytest.mark.parametrize("error", [KeyboardInterrupt, SystemExit, GeneratorExit])
@pytest.mark.parametrize("make", [
    lambda error: object_raising("__float__", error),
    lambda error: object_raising("__index__", error),
    lambda error: object_raising("__str__", error),
    numpy_bool_raising,
], ids=["__float__", "__index__", "__str__", "numpy __bool__"])
def test_py_to_json_lets_interrupts_through(make, error):
    with pytest.raises(error):
        from_dict_name(make(error))
    with pytest.raises(error):
        from_dict_name([make(error)])


@pytest.mark.parametrize("hook", ["__float__", "__index__"])
def test_py_to_json_still_drops_exceptions_to_try_the_next_form(hook):
    assert from_dict_name(object_raising(hook, ValueError("no number"))) == "fallback"


class Sized:
    """A sequence whose __len__ raises; iteration works."""

    def __init__(self, items, error):
        self.items, self.error = items, error

    def __len__(self):
        raise self.error

    def __getitem__(self, index):
        return self.items[index]


def test_a_failing_len_is_only_a_missing_hint_unless_it_is_an_interrupt():
    parameter = Parameter("p", "d", "int")
    assert Tool("t", "d", Sized([parameter], TypeError("no length"))).parameters == [parameter]
    with pytest.raises(KeyboardInterrupt) as exc_info:
        Tool("t", "d", Sized([parameter], KeyboardInterrupt()))
    assert exc_info.value.__notes__ == ["while processing 'parameters'"]


@pytest.mark.parametrize("error", [KeyboardInterrupt, SystemExit])
def test_enum_comparison_lets_interrupts_through(error):
    odd = object_raising("__index__", error)
    with pytest.raises(error):
        Decision.ALLOW == odd  # noqa: B015
    assert (Decision.ALLOW == object_raising("__index__", TypeError)) is False


class Refusing(Exception):
    """An error whose add_note fails with what it was given."""

    def __init__(self, note_error):
        super().__init__("refusing")
        self.note_error = note_error

    def add_note(self, note):
        raise self.note_error


def failing_sequence(error):
    return type("Failing", (), {"__len__": lambda self: 1, "__getitem__": raiser(error)})()


def test_a_failed_note_is_dropped_but_an_interrupt_while_adding_it_wins():
    original = Refusing(ValueError("no notes"))
    with pytest.raises(Refusing) as exc_info:
        Tool("t", "d", failing_sequence(original))
    assert exc_info.value is original and not hasattr(original, "__notes__")

    original = Refusing(KeyboardInterrupt())
    with pytest.raises(KeyboardInterrupt) as exc_info:
        Tool("t", "d", failing_sequence(original))
    assert exc_info.value.__context__ is original
