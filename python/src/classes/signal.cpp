// Signal: "A concrete signal detected in a trajectory event or transcript."
#include "python/src/classes/data_class.h"
#include "python/src/classes/scan_classes.h"
#include "python/src/enums/scan_enums.h"

namespace revizer::python {
namespace {

using result::Signal;

// Signal(focus=SignalFocus.AGENT, severity=SignalSeverity.HIGH, description="x")
PyObject* repr_impl(const Signal& signal) {
  return ReprText("Signal")
      .member("focus", signal.focus)
      .member("severity", signal.severity)
      .quoted("description", signal.description)
      .finish();
}

constexpr auto kSignal = describe<SignalClass>(
    {.name = "Signal", .doc = "A concrete signal detected in a trajectory event or transcript.", .repr = &repr_impl},
    pos<arg::Enum<SignalFocus>>("focus", &Signal::focus),
    pos<arg::Enum<SignalCategory>>("category", &Signal::category),
    pos<arg::Enum<SignalSeverity>>("severity", &Signal::severity),
    pos<arg::Text>("description", &Signal::description),
    kw<arg::List<arg::U32>>("evidence_indices", &Signal::evidence_indices, "..."));

}  // namespace

template <>
const ClassDef& SignalClass::def() {
  return data_class<kSignal>();
}

}  // namespace revizer::python
