"""Steering and the guardrail result classes."""
import pytest

from tavimor_revizer_client import (
    GuardrailResults,
    IfcGuardrailResult,
    SemanticGuardrailFinding,
    SemanticGuardrailResult,
    SignatureGuardrailMatch,
    SignatureGuardrailResult,
    Steering,
)


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


def full_results():
    return GuardrailResults(
        signature=SignatureGuardrailResult(
            True, severity="high", categories=["c2", "c1"],
            matches=[SignatureGuardrailMatch("r1", namespace="ns", metadata={"k": "v"}), SignatureGuardrailMatch("r2")],
        ),
        ifc=IfcGuardrailResult("restricted", fallback_reason="f", available=False, explanation="e"),
        semantic=SemanticGuardrailResult(
            categories=["x"], available=True,
            findings=[SemanticGuardrailFinding("b", "c"), SemanticGuardrailFinding("a", "c", explanation="e"),
                      SemanticGuardrailFinding("b", "c")],
            unavailable_rubrics=["u"],
        ),
    )


FULL_DICT = {
    "signature": {
        "triggered": True,
        "severity": "high",
        "categories": ["c2", "c1"],
        "matches": [{"rule": "r1", "namespace": "ns", "metadata": {"k": "v"}}, {"rule": "r2"}],
    },
    "ifc": {"label": "restricted", "fallback_reason": "f", "available": False, "explanation": "e"},
    "semantic": {
        "categories": ["x"],
        "available": True,
        "findings": [{"rubric_id": "b", "category": "c"}, {"rubric_id": "a", "category": "c", "explanation": "e"},
                     {"rubric_id": "b", "category": "c"}],
        "unavailable_rubrics": ["u"],
    },
}


@pytest.mark.parametrize(
    "cls, signature, doc",
    [
        (Steering, "(*, instructions=None, explanation=None)",
         "LLM-generated steering instructions (populated only in Steer mode on deny)."),
        (GuardrailResults, "(*, signature=None, ifc=None, semantic=None)",
         "Structured guardrail results captured during adjudication."),
        (SignatureGuardrailResult, "(triggered, *, severity=None, categories=None, matches=None)",
         "Structured results from signature-based guardrail scanning."),
        (SignatureGuardrailMatch, "(rule, *, namespace=None, metadata=None)", "One matched YARA signature rule."),
        (IfcGuardrailResult, "(label, *, fallback_reason=None, available=None, explanation=None)",
         "Structured guardrail results captured during adjudication."),
        (SemanticGuardrailResult, "(*, categories=None, available=False, findings=None, unavailable_rubrics=None)",
         "Structured result from decision-time semantic analysis."),
        (SemanticGuardrailFinding, "(rubric_id, category, *, explanation=None)",
         "A persisted finding selected by one semantic rubric."),
    ],
)
def test_class_shape(cls, signature, doc):
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == doc
    assert cls.to_dict.__text_signature__ == "($self)"
    assert cls.from_dict.__text_signature__ == "(data)"


class TestSteering:
    def test_defaults(self):
        for s in (Steering(), Steering(instructions=None, explanation=None)):
            assert s.instructions == [] and s.explanation == ""
            assert repr(s) == 'Steering(instructions=0, explanation="")'
            assert s.to_dict() == {"instructions": [], "explanation": ""}

    def test_values_and_round_trip(self):
        s = Steering(instructions=("a", "b"), explanation="why")
        assert s.instructions == ["a", "b"]
        assert repr(s) == 'Steering(instructions=2, explanation="why")'
        assert Steering.from_dict(s.to_dict()) == s
        assert Steering.from_dict([["a", "b"], "why"]) == s

    @pytest.mark.parametrize(
        "explanation, shown",
        [
            ("x" * 50, "x" * 50),
            ("x" * 51, "x" * 50 + "..."),
            ("e\u0301" * 51, "e\\u{301}" * 50 + "..."),
            ("\U0001F1EB\U0001F1F7" * 50, "\U0001F1EB\U0001F1F7" * 50),
            ('"' + "x" * 60, '\\"' + "x" * 49 + "..."),
        ],
    )
    def test_repr_cuts_the_explanation_at_50_clusters(self, explanation, shown):
        assert repr(Steering(explanation=explanation)) == f'Steering(instructions=0, explanation="{shown}")'

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"instructions": []}, "missing field `explanation`"),
            ({}, "missing field `instructions`"),
            ({"instructions": [], "explanation": None}, "invalid type: null, expected a string"),
            ({"instructions": None, "explanation": ""}, "invalid type: null, expected a sequence"),
            ([["a"]], "invalid length 1, expected struct Steering with 2 elements"),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            Steering.from_dict(data)
        assert str(exc_info.value) == message


class TestGuardrailResults:
    def test_full_round_trip(self):
        results = full_results()
        assert results.to_dict() == FULL_DICT
        assert list(results.to_dict()["signature"]) == ["triggered", "severity", "categories", "matches"]
        assert GuardrailResults.from_dict(FULL_DICT) == results
        assert repr(results) == "GuardrailResults(has_signature=true, has_ifc=true, has_semantic=true)"

    def test_empty_container(self):
        empty = GuardrailResults()
        assert (empty.signature, empty.ifc, empty.semantic) == (None, None, None)
        assert empty.to_dict() == {}
        assert GuardrailResults.from_dict({}) == empty
        assert GuardrailResults.from_dict({"signature": None, "ifc": None, "semantic": None, "x": 1}) == empty
        assert GuardrailResults.from_dict([None, None, None]) == empty

    def test_parts_are_fresh_copies(self):
        only_ifc = GuardrailResults(ifc=IfcGuardrailResult("l"))
        assert repr(only_ifc) == "GuardrailResults(has_signature=false, has_ifc=true, has_semantic=false)"
        assert only_ifc.ifc == only_ifc.ifc
        assert only_ifc.ifc is not only_ifc.ifc
        assert only_ifc != GuardrailResults()

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"signature": IfcGuardrailResult("l")}, "'IfcGuardrailResult' object is not an instance of 'SignatureGuardrailResult'", "signature"),
            ({"ifc": {"label": "l"}}, "'dict' object is not an instance of 'IfcGuardrailResult'", "ifc"),
            ({"semantic": 1}, "'int' object is not an instance of 'SemanticGuardrailResult'", "semantic"),
        ],
    )
    def test_argument_errors(self, kwargs, message, argument):
        with pytest.raises(TypeError) as exc_info:
            GuardrailResults(**kwargs)
        assert str(exc_info.value) == message
        assert notes(exc_info) == [f"while processing '{argument}'"]

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"signature": {}}, "missing field `triggered`"),
            ({"signature": {"triggered": True, "matches": [{}]}}, "missing field `rule`"),
            ({"semantic": {}}, "missing field `available`"),
            ({"ifc": {"label": "l", "available": 1}}, "invalid type: integer `1`, expected a boolean"),
            ([None, None], "invalid length 2, expected struct GuardrailResults with 3 elements"),
            (5, "invalid type: integer `5`, expected struct GuardrailResults"),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            GuardrailResults.from_dict(data)
        assert str(exc_info.value) == message


class TestSignature:
    def test_result_defaults_and_repr(self):
        r = SignatureGuardrailResult(True)
        assert (r.triggered, r.severity, r.categories, r.matches) == (True, None, [], [])
        assert repr(r) == "SignatureGuardrailResult(triggered=true, matches=0)"
        assert r.to_dict() == {"triggered": True}
        assert SignatureGuardrailResult.from_dict([True, None]) == r
        assert repr(SignatureGuardrailResult(False, matches=[SignatureGuardrailMatch("a")] * 2)) == (
            "SignatureGuardrailResult(triggered=false, matches=2)")

    def test_empty_severity_is_kept(self):
        r = SignatureGuardrailResult(False, severity="")
        assert r.to_dict() == {"triggered": False, "severity": ""}
        assert SignatureGuardrailResult.from_dict(r.to_dict()).severity == ""
        assert SignatureGuardrailResult.from_dict({"triggered": False, "severity": None}).severity is None

    @pytest.mark.parametrize("value", [None, 1, "true"])
    def test_triggered_must_be_a_bool(self, value):
        with pytest.raises(TypeError) as exc_info:
            SignatureGuardrailResult(value)
        assert notes(exc_info) == ["while processing 'triggered'"]

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"categories": "abc"}, "Can't extract `str` to `Vec`", "categories"),
            ({"categories": [1]}, "'int' object is not an instance of 'str'", "categories"),
            ({"matches": [SemanticGuardrailFinding("r", "c")]},
             "'SemanticGuardrailFinding' object is not an instance of 'SignatureGuardrailMatch'", "matches"),
            ({"matches": 3}, "'int' object is not an instance of 'Sequence'", "matches"),
            ({"severity": 3}, "'int' object is not an instance of 'str'", "severity"),
        ],
    )
    def test_argument_errors(self, kwargs, message, argument):
        with pytest.raises(TypeError) as exc_info:
            SignatureGuardrailResult(True, **kwargs)
        assert str(exc_info.value) == message
        assert notes(exc_info) == [f"while processing '{argument}'"]

    def test_match(self):
        m = SignatureGuardrailMatch("r1")
        assert (m.rule, m.namespace, m.metadata) == ("r1", None, {})
        assert repr(m) == 'SignatureGuardrailMatch(rule="r1", namespace=None)'
        assert repr(SignatureGuardrailMatch("r1", namespace="ns")) == (
            'SignatureGuardrailMatch(rule="r1", namespace=Some("ns"))')
        assert SignatureGuardrailMatch.from_dict(["r1", None]) == m
        assert SignatureGuardrailMatch("r", metadata={"a": "1", "b": "2"}) == SignatureGuardrailMatch(
            "r", metadata={"b": "2", "a": "1"})
        assert SignatureGuardrailMatch("r", metadata=None) == SignatureGuardrailMatch("r")

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"rule": "r", "metadata": {"k": 1}}, "invalid type: integer `1`, expected a string"),
            ({"rule": "r", "metadata": None}, "invalid type: null, expected a map"),
            (["r"], "invalid length 1, expected struct SignatureGuardrailMatch with 3 elements"),
            ({"namespace": "n"}, "missing field `rule`"),
        ],
    )
    def test_match_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            SignatureGuardrailMatch.from_dict(data)
        assert str(exc_info.value) == message


class TestIfc:
    def test_repr_shows_raw_texts(self):
        assert repr(IfcGuardrailResult("restricted")) == (
            "IfcGuardrailResult(label=restricted, fallback_reason=None, available=None, has_explanation=false)")
        assert repr(IfcGuardrailResult("a, b)", fallback_reason='x"y', available=True, explanation="")) == (
            'IfcGuardrailResult(label=a, b), fallback_reason=x"y, available=true, has_explanation=true)')
        assert repr(IfcGuardrailResult("l", available=False)) == (
            "IfcGuardrailResult(label=l, fallback_reason=None, available=false, has_explanation=false)")

    def test_three_states_of_available(self):
        absent, no, yes = (IfcGuardrailResult("l", available=v) for v in (None, False, True))
        assert (absent.available, no.available, yes.available) == (None, False, True)
        assert absent != no and no != yes and absent != yes
        assert absent.to_dict() == {"label": "l"}
        assert no.to_dict() == {"label": "l", "available": False}
        assert IfcGuardrailResult.from_dict({"label": "l", "available": None}) == absent
        assert IfcGuardrailResult.available.__doc__ == "`None` on records written before availability was reported."

    def test_array_form(self):
        assert IfcGuardrailResult.from_dict(["l", None, None, None]) == IfcGuardrailResult("l")
        with pytest.raises(ValueError) as exc_info:
            IfcGuardrailResult.from_dict(["l"])
        assert str(exc_info.value) == "invalid length 1, expected struct IfcGuardrailResult with 4 elements"

    @pytest.mark.parametrize("kwargs, argument", [({"available": 0}, "available"), ({"fallback_reason": 1}, "fallback_reason"),
                                                  ({"explanation": 1}, "explanation")])
    def test_argument_errors(self, kwargs, argument):
        with pytest.raises(TypeError) as exc_info:
            IfcGuardrailResult("l", **kwargs)
        assert notes(exc_info) == [f"while processing '{argument}'"]
        with pytest.raises(TypeError) as exc_info:
            IfcGuardrailResult(None)
        assert notes(exc_info) == ["while processing 'label'"]


class TestSemantic:
    def test_defaults(self):
        s = SemanticGuardrailResult()
        assert (s.categories, s.available, s.findings, s.unavailable_rubrics) == ([], False, [], [])
        assert repr(s) == "SemanticGuardrailResult(categories=0, findings=0, unavailable_rubrics=0, available=false)"
        assert s.to_dict() == {"available": False}
        assert SemanticGuardrailResult.from_dict({"available": False}) == s
        assert SemanticGuardrailResult.from_dict([[], True]) == SemanticGuardrailResult(available=True)

    def test_findings_keep_order_and_repeats(self):
        semantic = full_results().semantic
        assert [f.rubric_id for f in semantic.findings] == ["b", "a", "b"]
        assert repr(semantic) == "SemanticGuardrailResult(categories=1, findings=3, unavailable_rubrics=1, available=true)"
        assert SemanticGuardrailResult.from_dict(semantic.to_dict()) == semantic

    def test_available_refuses_none(self):
        with pytest.raises(TypeError) as exc_info:
            SemanticGuardrailResult(available=None)
        assert notes(exc_info) == ["while processing 'available'"]

    @pytest.mark.parametrize(
        "data, message",
        [
            ({}, "missing field `available`"),
            ({"available": None}, "invalid type: null, expected a boolean"),
            ({"available": True, "findings": None}, "invalid type: null, expected a sequence"),
            ([], "invalid length 1, expected struct SemanticGuardrailResult with 4 elements"),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            SemanticGuardrailResult.from_dict(data)
        assert str(exc_info.value) == message

    def test_finding(self):
        f = SemanticGuardrailFinding("r", "c")
        assert (f.rubric_id, f.category, f.explanation) == ("r", "c", None)
        assert repr(f) == 'SemanticGuardrailFinding(rubric_id="r", category="c", has_explanation=false)'
        assert repr(SemanticGuardrailFinding("r\n", "c", explanation="")) == (
            'SemanticGuardrailFinding(rubric_id="r\\n", category="c", has_explanation=true)')
        assert SemanticGuardrailFinding.from_dict(["r", "c", None]) == f
        for data, message in [({}, "missing field `rubric_id`"),
                              (["r", "c"], "invalid length 2, expected struct SemanticGuardrailFinding with 3 elements")]:
            with pytest.raises(ValueError) as exc_info:
                SemanticGuardrailFinding.from_dict(data)
            assert str(exc_info.value) == message


@pytest.mark.parametrize(
    "a, b",
    [
        (Steering(instructions=["a"]), Steering(instructions=["a", "a"])),
        (Steering(explanation="e"), Steering(explanation="E")),
        (SignatureGuardrailResult(True), SignatureGuardrailResult(False)),
        (SignatureGuardrailResult(True, categories=["a", "b"]), SignatureGuardrailResult(True, categories=["b", "a"])),
        (SignatureGuardrailMatch("r", namespace=""), SignatureGuardrailMatch("r")),
        (SignatureGuardrailMatch("r", metadata={"k": "v"}), SignatureGuardrailMatch("r", metadata={"k": "w"})),
        (SemanticGuardrailFinding("r", "c", explanation="e"), SemanticGuardrailFinding("r", "c")),
        (SemanticGuardrailResult(unavailable_rubrics=["u"]), SemanticGuardrailResult()),
    ],
)
def test_unequal_field_by_field(a, b):
    assert a != b and not (a == b)
    assert a == type(a).from_dict(a.to_dict())
    with pytest.raises(TypeError):
        a < b
    with pytest.raises(TypeError):
        hash(a)
