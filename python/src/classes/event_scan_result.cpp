// EventScanResult: "Structured result of scanning a single trajectory event."
#include "python/src/classes/data_class.h"
#include "python/src/classes/scan_classes.h"
#include "python/src/enums/scan_enums.h"

namespace revizer::python {
namespace {

using result::EventScanResult;

// EventScanResult(message_type="tool_call", confidence=0.93): the message
// type as its quoted value text, not as a member.
PyObject* repr_impl(const EventScanResult& scan) {
  return ReprText("EventScanResult")
      .quoted("message_type", json::enum_row(scan.message_type).value)
      .decimal("confidence", scan.confidence)
      .finish();
}

// The constructor lets `is_side_effecting` default to false; the JSON form
// requires it.
constexpr auto kEventScanResult = describe<EventScanResultClass>(
    {.name = "EventScanResult", .doc = "Structured result of scanning a single trajectory event.", .repr = &repr_impl},
    pos<arg::Text>("explanation", &EventScanResult::explanation),
    pos<arg::Enum<MessageType>>("message_type", &EventScanResult::message_type),
    pos<arg::Enum<AgentIntent>>("intent", &EventScanResult::intent),
    pos<arg::Text>("description", &EventScanResult::description),
    pos<arg::F64>("confidence", &EventScanResult::confidence),
    kw<arg::List<arg::Text>>("key_entities", &EventScanResult::key_entities, "..."),
    kw<arg::Defaulted<arg::Bool>>("is_side_effecting", &EventScanResult::is_side_effecting, "False"),
    kw<arg::List<arg::Record<SignalClass>>>("signals", &EventScanResult::signals, "..."),
    prop("confidence", &EventScanResult::confidence),
    kw<arg::Opt<arg::RequiredList<arg::F64>>>("embedding", &EventScanResult::embedding, "None"));

}  // namespace

template <>
const ClassDef& EventScanResultClass::def() {
  return data_class<kEventScanResult>();
}

}  // namespace revizer::python
