"""Classes made from one description: the generated text signature, defaults
kept from the record, None as a default, the finish hook, property getters
chosen by member type and their order, and a class without a constructor."""
import pytest

import _binding_probe as probe

Gauge, Sealed, Mode, D = probe.Gauge, probe.Sealed, probe.Mode, probe.Decision

MEMBER_PROPERTIES = ["label", "note", "enabled", "mode", "history", "data", "version", "size", "ratio", "labels",
                     "code"]


def props(obj):
    return {name: getattr(obj, name) for name in MEMBER_PROPERTIES + ["summary"]}


def test_signature_and_doc_come_from_the_rows():
    assert Gauge.__text_signature__ == ("(label, scale=0, *, note=None, enabled=True, mode=None, history=..., "
                                        "data=None, labels=None, code=None, suffix=None)")
    assert Gauge.__doc__ == "A gauge."
    assert Sealed.__text_signature__ is None
    assert Sealed.__doc__ == "Made only by Sealed.make()."


def test_properties_follow_member_declaration_order_then_hand_written_ones():
    names = [name for name, value in vars(Gauge).items() if type(value).__name__ == "getset_descriptor"]
    assert names == MEMBER_PROPERTIES + ["summary"]
    assert Gauge.ratio.__doc__ == "A ratio."
    assert Gauge.label.__doc__ is None


def test_left_out_arguments_keep_the_record_defaults():
    assert props(Gauge("a")) == {
        "label": "a", "note": "", "enabled": True, "mode": Mode.GOVERN, "history": [], "data": None,
        "version": -5, "size": 2**63, "ratio": 0.5, "labels": {}, "code": None, "summary": "a:1",
    }


def test_none_means_the_default_where_the_signature_shows_none():
    given = Gauge("a", note=None, mode=None, data=None, labels=None, code=None, suffix=None)
    assert props(given) == props(Gauge("a"))


@pytest.mark.parametrize(
    "kwargs, error, message, argument",
    [
        ({"enabled": None}, TypeError, "'None' is not an instance of 'bool'", "enabled"),
        ({"enabled": 1}, TypeError, "'int' object is not an instance of 'bool'", "enabled"),
        ({"history": None}, TypeError, "'None' is not an instance of 'Sequence'", "history"),
        ({"history": ["deny"]}, TypeError, "'str' object is not an instance of 'Decision'", "history"),
        ({"mode": "steer"}, TypeError, "'str' object is not an instance of 'Mode'", "mode"),
        ({"labels": {"a": 1}}, TypeError, "'int' object is not an instance of 'str'", "labels"),
        ({"code": 2**31}, OverflowError, "out of range integral type conversion attempted", "code"),
        ({"data": {1: 2}}, TypeError, "'int' object is not an instance of 'str'", "data"),
        ({"scale": "1"}, TypeError, None, "scale"),
        ({"suffix": 5}, TypeError, "'int' object is not an instance of 'str'", "suffix"),
    ],
)
def test_conversion_errors_name_their_argument(kwargs, error, message, argument):
    with pytest.raises(error) as exc_info:
        Gauge("a", **kwargs)
    if message is not None:
        assert str(exc_info.value) == message
    assert exc_info.value.__notes__ == [f"while processing '{argument}'"]


def test_given_values_read_back_by_member_type():
    data = {"k": [1, 2.5, None, True, "x"], "n": {"deep": -(2**63)}}
    gauge = Gauge("a", 7, note="n", enabled=False, mode=Mode("steer"), history=(D.DENY, D.ALLOW), data=data,
                  labels={"b": "1", "a": "2"}, code=-3, suffix="x")
    assert props(gauge) == {
        "label": "ax", "note": "n", "enabled": False, "mode": Mode.STEER, "history": [D.DENY, D.ALLOW],
        "data": data, "version": 7, "size": 2**63, "ratio": 0.5, "labels": {"a": "2", "b": "1"}, "code": -3,
        "summary": "ax:2",
    }
    # Enumeration values are the shared members; everything else is new on every read.
    assert gauge.mode is Mode.STEER and gauge.history[0] is D.DENY
    assert gauge.data is not gauge.data and gauge.labels is not gauge.labels and gauge.history is not gauge.history
    # A key-ordered map member lists its keys in ascending order, whatever order they came in.
    assert list(gauge.labels) == ["a", "b"]


def test_finish_hook_can_refuse_the_record():
    with pytest.raises(ValueError, match="^bad suffix$") as exc_info:
        Gauge("a", suffix="!")
    assert not hasattr(exc_info.value, "__notes__")


def test_first_failing_argument_in_signature_order_wins():
    with pytest.raises(TypeError) as exc_info:
        Gauge(1, enabled=None, history=None)
    assert exc_info.value.__notes__ == ["while processing 'label'"]


def test_class_without_constructor():
    with pytest.raises(TypeError):
        Sealed()
    sealed = Sealed.make()
    assert type(sealed) is Sealed and sealed.name == "sealed"
    with pytest.raises(AttributeError):
        sealed.name = "x"
