// TranscriptScanResult: "Full behavioral scan of a trajectory transcript."
#include "python/src/classes/data_class.h"
#include "python/src/classes/scan_classes.h"
#include "python/src/enums/scan_enums.h"

namespace revizer::python {
namespace {

using result::TranscriptScanResult;

// TranscriptScanResult(outcome=TranscriptOutcome.PARTIAL, aggregate_severity=SignalSeverity.MEDIUM)
PyObject* repr_impl(const TranscriptScanResult& scan) {
  return ReprText("TranscriptScanResult")
      .member("outcome", scan.outcome)
      .member("aggregate_severity", scan.aggregate_severity)
      .finish();
}

constexpr auto kTranscriptScanResult = describe<TranscriptScanResultClass>(
    {.name = "TranscriptScanResult", .doc = "Full behavioral scan of a trajectory transcript.", .repr = &repr_impl},
    pos<arg::Text>("explanation", &TranscriptScanResult::explanation),
    pos<arg::Enum<TranscriptOutcome>>("outcome", &TranscriptScanResult::outcome),
    pos<arg::Text>("outcome_description", &TranscriptScanResult::outcome_description),
    pos<arg::Enum<SignalSeverity>>("aggregate_severity", &TranscriptScanResult::aggregate_severity),
    prop("signals", &TranscriptScanResult::signals),
    pos<arg::Text>("adjudication_summary", &TranscriptScanResult::adjudication_summary),
    pos<arg::F64>("confidence", &TranscriptScanResult::confidence),
    kw<arg::List<arg::Record<SignalClass>>>("signals", &TranscriptScanResult::signals, "..."),
    kw<arg::List<arg::Text>>("behavioral_notes", &TranscriptScanResult::behavioral_notes, "..."),
    prop("confidence", &TranscriptScanResult::confidence));

}  // namespace

template <>
const ClassDef& TranscriptScanResultClass::def() {
  return data_class<kTranscriptScanResult>();
}

}  // namespace revizer::python
