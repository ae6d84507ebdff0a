"""Scan analysis: Signal, EventScanResult, TranscriptPhase, TranscriptDigest,
TranscriptScanResult and the Scanned payload."""
import math

import pytest

from tavimor_revizer_client import (
    AgentIntent,
    EventScanResult,
    MessageType,
    Scanned,
    Signal,
    SignalCategory,
    SignalFocus,
    SignalSeverity,
    TranscriptDigest,
    TranscriptOutcome,
    TranscriptPhase,
    TranscriptScanResult,
)


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


def signal(description="x", **kwargs):
    return Signal(SignalFocus.AGENT, SignalCategory.TOOL_MISUSE, SignalSeverity.HIGH, description, **kwargs)


def event_scan(**kwargs):
    return EventScanResult("why", MessageType.TOOL_CALL, AgentIntent.IMPLEMENT, "runs rm", 0.93, **kwargs)


def digest(**kwargs):
    return TranscriptDigest("traj-1", "Fix the build", "summary", 42, 7, **kwargs)


def transcript_scan(**kwargs):
    return TranscriptScanResult("why", TranscriptOutcome.PARTIAL, "half done", SignalSeverity.MEDIUM, "2 denials", 0.5,
                                **kwargs)


@pytest.mark.parametrize(
    "cls, signature, doc",
    [
        (Signal, "(focus, category, severity, description, *, evidence_indices=...)",
         "A concrete signal detected in a trajectory event or transcript."),
        (EventScanResult, "(explanation, message_type, intent, description, confidence, *, key_entities=..., "
                          "is_side_effecting=False, signals=..., embedding=None)",
         "Structured result of scanning a single trajectory event."),
        (TranscriptPhase, "(name, description, *, event_indices=...)", "A logical work phase within a trajectory transcript."),
        (TranscriptDigest, "(trajectory_id, title, summary, total_events, side_effecting_count, *, phases=..., "
                           "files_modified=..., tools_used=..., interim=False)",
         "Hierarchical summary of an entire trajectory transcript."),
        (TranscriptScanResult, "(explanation, outcome, outcome_description, aggregate_severity, adjudication_summary, "
                               "confidence, *, signals=..., behavioral_notes=...)",
         "Full behavioral scan of a trajectory transcript."),
        (Scanned, "(source_event_id, result)", "Result of LLM-based event or transcript scanning."),
    ],
)
def test_class_shape(cls, signature, doc):
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == doc
    assert cls.to_dict.__text_signature__ == "($self)"
    assert cls.from_dict.__text_signature__ == "(data)"


class TestSignal:
    def test_to_dict(self):
        s = signal()
        assert s.to_dict() == {"focus": "agent", "category": "tool_misuse", "severity": "high", "description": "x",
                               "evidence_indices": []}
        assert list(s.to_dict()) == ["focus", "category", "severity", "description", "evidence_indices"]
        assert Signal.from_dict(s.to_dict()) == s

    def test_properties_and_repr(self):
        s = signal('say "hi"', evidence_indices=(3, 1, 3, 4294967295))
        assert s.focus is SignalFocus.AGENT
        assert s.category is SignalCategory.TOOL_MISUSE
        assert s.severity is SignalSeverity.HIGH
        assert s.evidence_indices == [3, 1, 3, 4294967295]
        assert repr(s) == 'Signal(focus=SignalFocus.AGENT, severity=SignalSeverity.HIGH, description="say \\"hi\\"")'

    @pytest.mark.parametrize(
        "args, kwargs, error, argument",
        [
            (("agent", SignalCategory.TOOL_MISUSE, SignalSeverity.HIGH, "x"), {}, TypeError, "focus"),
            ((SignalFocus.AGENT, SignalSeverity.HIGH, SignalSeverity.HIGH, "x"), {}, TypeError, "category"),
            ((SignalFocus.AGENT, SignalCategory.TOOL_MISUSE, 3, "x"), {}, TypeError, "severity"),
            ((SignalFocus.AGENT, SignalCategory.TOOL_MISUSE, SignalSeverity.HIGH, None), {}, TypeError, "description"),
            ((SignalFocus.AGENT, SignalCategory.TOOL_MISUSE, SignalSeverity.HIGH, "x"), {"evidence_indices": None},
             TypeError, "evidence_indices"),
            ((SignalFocus.AGENT, SignalCategory.TOOL_MISUSE, SignalSeverity.HIGH, "x"), {"evidence_indices": [-1]},
             OverflowError, "evidence_indices"),
            ((SignalFocus.AGENT, SignalCategory.TOOL_MISUSE, SignalSeverity.HIGH, "x"), {"evidence_indices": [2**32]},
             OverflowError, "evidence_indices"),
        ],
    )
    def test_argument_errors(self, args, kwargs, error, argument):
        with pytest.raises(error) as exc_info:
            Signal(*args, **kwargs)
        assert notes(exc_info) == [f"while processing '{argument}'"]

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"focus": "agent", "severity": "low"}, "missing field `category`"),
            ({"focus": "Agent", "category": "tool_misuse", "severity": "low", "description": ""},
             "unknown variant `Agent`, expected one of `environment`, `agent`, `governance`"),
            ({"focus": "agent", "category": "tool_misuse", "severity": "low", "description": "", "evidence_indices": None},
             "invalid type: null, expected a sequence"),
            ({"focus": "agent", "category": "tool_misuse", "severity": "low", "description": "", "evidence_indices": [1.0]},
             "invalid type: floating point `1.0`, expected u32"),
            ({"focus": "agent", "category": "tool_misuse", "severity": "low", "description": "", "evidence_indices": [-1]},
             "invalid value: integer `-1`, expected u32"),
            ({"focus": {"agent": True}, "category": "tool_misuse", "severity": "low", "description": ""},
             "invalid type: boolean `true`, expected unit"),
            (["agent", "tool_misuse", "low"], "invalid length 3, expected struct Signal with 5 elements"),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            Signal.from_dict(data)
        assert str(exc_info.value) == message

    def test_from_dict_object_enum_form_and_array_form(self):
        data = {"focus": {"agent": None}, "category": "tool_misuse", "severity": "high", "description": "x"}
        assert Signal.from_dict(data) == signal()
        assert Signal.from_dict(["agent", "tool_misuse", "high", "x"]) == signal()


class TestEventScanResult:
    def test_defaults(self):
        r = event_scan()
        assert (r.key_entities, r.is_side_effecting, r.signals, r.embedding) == ([], False, [], None)
        assert r.message_type is MessageType.TOOL_CALL and r.intent is AgentIntent.IMPLEMENT
        assert r.to_dict() == {
            "explanation": "why", "message_type": "tool_call", "intent": "implement", "description": "runs rm",
            "key_entities": [], "is_side_effecting": False, "signals": [], "confidence": 0.93,
        }
        assert repr(r) == 'EventScanResult(message_type="tool_call", confidence=0.93)'

    def test_full_round_trip(self):
        r = event_scan(key_entities=["rm", "rm"], is_side_effecting=True, signals=[signal()], embedding=[0.5, -1.0])
        data = r.to_dict()
        assert list(data)[-1] == "embedding" and data["embedding"] == [0.5, -1.0]
        assert data["signals"] == [signal().to_dict()]
        assert EventScanResult.from_dict(data) == r
        assert r.signals == [signal()]

    def test_empty_embedding_differs_from_none(self):
        r = event_scan(embedding=[])
        assert r.embedding == [] and r.to_dict()["embedding"] == []
        assert r != event_scan()
        assert "embedding" not in event_scan().to_dict()
        assert EventScanResult.from_dict(dict(event_scan().to_dict(), embedding=None)) == event_scan()

    def test_confidence_conversions(self):
        whole = EventScanResult("e", MessageType.REASONING, AgentIntent.PLAN, "d", 1)
        assert type(whole.confidence) is float and whole.confidence == 1.0
        assert whole.to_dict()["confidence"] == 1.0 and type(whole.to_dict()["confidence"]) is float
        assert EventScanResult("e", MessageType.REASONING, AgentIntent.PLAN, "d", -0.0) == EventScanResult(
            "e", MessageType.REASONING, AgentIntent.PLAN, "d", 0.0)

    def test_non_finite_floats(self):
        r = EventScanResult("e", MessageType.REASONING, AgentIntent.PLAN, "d", float("nan"),
                            embedding=[float("inf"), 1.0])
        assert math.isnan(r.confidence)
        assert repr(r) == 'EventScanResult(message_type="reasoning", confidence=NaN)'
        assert r != r
        data = r.to_dict()
        assert data["confidence"] is None and data["embedding"] == [None, 1.0]
        with pytest.raises(ValueError) as exc_info:
            EventScanResult.from_dict(data)
        assert str(exc_info.value) == "invalid type: null, expected f64"
        assert repr(EventScanResult("e", MessageType.REASONING, AgentIntent.PLAN, "d", -math.inf)).endswith(
            "confidence=-inf)")

    @pytest.mark.parametrize(
        "kwargs, error, argument",
        [
            ({"is_side_effecting": 1}, TypeError, "is_side_effecting"),
            ({"is_side_effecting": None}, TypeError, "is_side_effecting"),
            ({"key_entities": "abc"}, TypeError, "key_entities"),
            ({"key_entities": None}, TypeError, "key_entities"),
            ({"signals": [1]}, TypeError, "signals"),
            ({"embedding": "1"}, TypeError, "embedding"),
            ({"embedding": [1, "a"]}, TypeError, "embedding"),
        ],
    )
    def test_argument_errors(self, kwargs, error, argument):
        with pytest.raises(error) as exc_info:
            event_scan(**kwargs)
        assert notes(exc_info) == [f"while processing '{argument}'"]
        with pytest.raises(TypeError) as exc_info:
            EventScanResult("e", MessageType.REASONING, AgentIntent.PLAN, "d", "0.5")
        assert notes(exc_info) == ["while processing 'confidence'"]

    @pytest.mark.parametrize(
        "missing, message",
        [("is_side_effecting", "missing field `is_side_effecting`"), ("confidence", "missing field `confidence`"),
         ("intent", "missing field `intent`")],
    )
    def test_from_dict_missing(self, missing, message):
        data = event_scan().to_dict()
        del data[missing]
        with pytest.raises(ValueError) as exc_info:
            EventScanResult.from_dict(data)
        assert str(exc_info.value) == message

    def test_from_dict_array_form(self):
        assert EventScanResult.from_dict(["why", "tool_call", "implement", "runs rm", [], False, [], 0.93]) == event_scan()
        with pytest.raises(ValueError) as exc_info:
            EventScanResult.from_dict(["why", "tool_call", "implement", "runs rm"])
        assert str(exc_info.value) == "invalid length 5, expected struct EventScanResult with 9 elements"


class TestTranscripts:
    def test_phase(self):
        p = TranscriptPhase("p", "d")
        assert p.event_indices == []
        assert repr(TranscriptPhase("setup", "d", event_indices=[1, 2, 3])) == 'TranscriptPhase(name="setup", events=3)'
        assert p.to_dict() == {"name": "p", "description": "d", "event_indices": []}
        assert TranscriptPhase.from_dict(["p", "d"]) == p
        for value, error in [(None, TypeError), ("12", TypeError), ([-1], OverflowError)]:
            with pytest.raises(error) as exc_info:
                TranscriptPhase("p", "d", event_indices=value)
            assert notes(exc_info) == ["while processing 'event_indices'"]

    def test_digest_defaults_and_dict(self):
        d = digest()
        assert (d.interim, d.phases, d.files_modified, d.tools_used) == (False, [], [], [])
        assert (d.total_events, d.side_effecting_count) == (42, 7)
        assert repr(d) == 'TranscriptDigest(title="Fix the build", total_events=42)'
        data = d.to_dict()
        assert list(data) == ["trajectory_id", "title", "summary", "interim", "phases", "files_modified", "tools_used",
                              "total_events", "side_effecting_count"]
        minimal = {k: data[k] for k in ("trajectory_id", "title", "summary", "total_events", "side_effecting_count")}
        assert TranscriptDigest.from_dict(minimal) == d

    def test_digest_round_trip_and_counts(self):
        d = digest(phases=[TranscriptPhase("a", "b", event_indices=[99])], files_modified=["f"], tools_used=["t", "t"],
                   interim=True)
        assert TranscriptDigest.from_dict(d.to_dict()) == d
        assert TranscriptDigest("t", "", "", 4294967295, 0).total_events == 4294967295
        with pytest.raises(OverflowError):
            TranscriptDigest("t", "", "", 4294967296, 0)
        with pytest.raises(OverflowError):
            TranscriptDigest("t", "", "", 0, -1)

    def test_digest_lists_are_fresh(self):
        d = digest(phases=[TranscriptPhase("a", "b")])
        phases = d.phases
        phases.append(TranscriptPhase("c", "d"))
        assert len(d.phases) == 1

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"trajectory_id": "t", "title": "", "summary": "", "total_events": 3.0, "side_effecting_count": 0},
             "invalid type: floating point `3.0`, expected u32"),
            ({"trajectory_id": "t", "title": "", "summary": "", "interim": None, "total_events": 3, "side_effecting_count": 0},
             "invalid type: null, expected a boolean"),
            ({"trajectory_id": "t", "title": "", "summary": "", "total_events": 3}, "missing field `side_effecting_count`"),
            (["t", "ti", "s"], "invalid length 7, expected struct TranscriptDigest with 9 elements"),
        ],
    )
    def test_digest_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            TranscriptDigest.from_dict(data)
        assert str(exc_info.value) == message

    def test_transcript_scan(self):
        t = transcript_scan(signals=[signal()], behavioral_notes=["n"])
        assert t.outcome is TranscriptOutcome.PARTIAL and t.aggregate_severity is SignalSeverity.MEDIUM
        assert repr(t) == "TranscriptScanResult(outcome=TranscriptOutcome.PARTIAL, aggregate_severity=SignalSeverity.MEDIUM)"
        data = t.to_dict()
        assert data["outcome"] == "partial" and data["aggregate_severity"] == "medium"
        assert data["behavioral_notes"] == ["n"]
        assert TranscriptScanResult.from_dict(data) == t
        data = transcript_scan().to_dict()
        data["behavioural_notes"] = data.pop("behavioral_notes") + ["ignored"]
        assert TranscriptScanResult.from_dict(data) == transcript_scan()
        data["outcome"] = "in progress"
        with pytest.raises(ValueError) as exc_info:
            TranscriptScanResult.from_dict(data)
        assert str(exc_info.value) == ("unknown variant `in progress`, expected one of `success`, `partial`, `failure`, "
                                       "`interrupted`, `in_progress`")


SCAN_KINDS = [
    (Scanned.message, event_scan, "message", "Message"),
    (Scanned.transcript_digest, digest, "transcript_digest", "TranscriptDigest"),
    (Scanned.transcript_scan, transcript_scan, "transcript_scan", "TranscriptScan"),
]


class TestScanned:
    @pytest.mark.parametrize("factory, make, scan_type, tag", SCAN_KINDS)
    def test_each_kind(self, factory, make, scan_type, tag):
        r = make()
        s = factory("evt-1", r.to_dict())
        assert s.scan_type == scan_type
        assert s.source_event_id == "evt-1"
        assert s.result == r.to_dict()
        assert s.typed_result() == r
        assert type(s.typed_result()) is type(r)
        assert s.typed_result() is not s.typed_result()
        assert repr(s) == f'Scanned(scan_type="{scan_type}", source_event_id="evt-1")'
        data = s.to_dict()
        assert data == {"scan_type": tag, "data": {"source_event_id": "evt-1", "result": r.to_dict()}}
        assert list(data) == ["scan_type", "data"] and list(data["data"]) == ["source_event_id", "result"]
        assert Scanned.from_dict(data) == s
        assert Scanned.from_dict({"data": data["data"], "scan_type": tag}) == s
        assert Scanned.from_dict([tag, data["data"]]) == s

    def test_constructor_builds_a_message_scan(self):
        r = event_scan()
        s = Scanned("evt-1", r.to_dict())
        assert s == Scanned.message("evt-1", r.to_dict())
        assert s.scan_type == "message"
        assert Scanned(source_event_id="", result=r.to_dict()).source_event_id == ""

    def test_result_is_read_in_its_dict_form(self):
        with pytest.raises(ValueError) as exc_info:
            Scanned("evt-1", event_scan())
        assert str(exc_info.value).startswith("invalid type: string \"EventScanResult(")
        assert str(exc_info.value).endswith('", expected struct EventScanResult')
        minimal = {"trajectory_id": "t", "title": "", "summary": "", "total_events": 0, "side_effecting_count": 0}
        assert Scanned.transcript_digest("e", minimal).typed_result().interim is False
        for make in (Scanned, Scanned.message):
            with pytest.raises(ValueError) as exc_info:
                make("e", minimal)
            assert str(exc_info.value) == "missing field `explanation`"
        with pytest.raises(ValueError) as exc_info:
            Scanned.transcript_scan("e", {})
        assert str(exc_info.value) == "missing field `explanation`"

    def test_argument_errors(self):
        with pytest.raises(TypeError) as exc_info:
            Scanned(1, {})
        assert notes(exc_info) == ["while processing 'source_event_id'"]
        with pytest.raises(TypeError):
            Scanned.message("e")
        with pytest.raises(ValueError) as exc_info:
            Scanned.message("e", {"explanation": 2**64})
        assert str(exc_info.value) == ("integer out of range for JSON number: 18446744073709551616 is outside signed "
                                       "or unsigned 64-bit range")

    def test_equality_and_repr(self):
        a = Scanned.message("e", event_scan().to_dict())
        b = Scanned.message("e", event_scan(is_side_effecting=True).to_dict())
        assert repr(a) == repr(b) and a != b
        assert a != Scanned.message("f", event_scan().to_dict())
        assert Scanned.transcript_scan("e", transcript_scan().to_dict()) != Scanned.transcript_digest(
            "e", digest().to_dict())
        with pytest.raises(TypeError):
            hash(a)

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"scan_type": "transcript_scan", "data": {}},
             "unknown variant `transcript_scan`, expected one of `Message`, `TranscriptDigest`, `TranscriptScan`"),
            ({"scan_type": "Message"}, "missing field `data`"),
            ({"data": 5}, "missing field `scan_type`"),
            ({"data": 5, "scan_type": "Message"}, "invalid type: integer `5`, expected struct variant Scanned::Message"),
            ({"scan_type": "Message", "data": {"source_event_id": "e"}}, "missing field `result`"),
            ({"scan_type": {"TranscriptDigest": {}}, "data": {}}, "invalid type: map, expected unit"),
            ({"scan_type": "Message", "data": []}, "invalid type: sequence, expected struct variant Scanned::Message"),
            ([], "invalid length 0, expected adjacently tagged enum Scanned"),
            (["Message", {}, 1], "missing field `source_event_id`"),
            ([1, {}], "invalid type: integer `1`, expected variant identifier"),
            ("Message", 'invalid type: string "Message", expected adjacently tagged enum Scanned'),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            Scanned.from_dict(data)
        assert str(exc_info.value) == message

    def test_content_before_tag_is_buffered(self):
        result = dict(event_scan().to_dict(), message_type={"tool_call": {}})
        data = {"source_event_id": "e", "result": result}
        assert Scanned.from_dict({"data": data, "scan_type": "Message"}) == Scanned.message("e", event_scan().to_dict())
        with pytest.raises(ValueError) as exc_info:
            Scanned.from_dict({"scan_type": "Message", "data": data})
        assert str(exc_info.value) == "invalid type: map, expected unit"

    def test_docs(self):
        assert Scanned.result.__doc__ == ("Return the scan result as a plain dict (variant-agnostic).\n\n"
                                          "Use ``typed_result()`` to get a fully-typed Python object instead.")
        assert Scanned.typed_result.__doc__ == (
            "Return the scan result as a typed Python object.\n\nReturns an ``EventScanResult``, ``TranscriptDigest``, "
            "or\n``TranscriptScanResult`` depending on ``scan_type``.")
        assert Scanned.typed_result.__text_signature__ == "($self)"
        for name, doc in [("message", "Create a message-level scan result."),
                          ("transcript_digest", "Create a transcript digest scan result."),
                          ("transcript_scan", "Create a transcript-level behavioral scan result.")]:
            assert getattr(Scanned, name).__text_signature__ == "(source_event_id, result)"
            assert getattr(Scanned, name).__doc__ == doc
