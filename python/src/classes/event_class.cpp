// Event: "Event envelope wrapping a trajectory event with metadata."
#include "python/src/classes/event_classes.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/event/envelope_decoding.h"
#include "model/event/timestamp.h"
#include "model/json/record_text.h"
#include "model/json/writer.h"
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"
#include "python/src/classes/event_envelope.h"
#include "python/src/classes/result_classes.h"
#include "python/src/classes/scan_classes.h"
#include "python/src/convert/generated_id.h"
#include "core/provider_call_id.h"

namespace revizer::python {
namespace {

using event::Event;
using event::TrajectoryEvent;

// --- the payload given to the constructor ----------------------------------

// Copies the record of `object` into `out` when it is a `Payload` object.
template <class Category, class Payload>
bool take_payload(PyObject* object, TrajectoryEvent& out) {
  Instance<DataClass<Payload>>* payload = downcast<DataClass<Payload>>(object);
  if (payload == nullptr) return false;
  out.emplace<Category>(std::in_place_type<Payload>, payload->record);
  return true;
}

using PayloadTaker = bool (*)(PyObject*, TrajectoryEvent&);

// The payload classes the constructor takes, in the order it tests them.
// Scanned is not among them: only decoding makes such an event.
constexpr std::array<PayloadTaker, 18> kPayloadTakers{
    &take_payload<event::Action, event::ToolCall>,
    &take_payload<event::Action, event::ShellCommand>,
    &take_payload<event::Action, event::WebFetch>,
    &take_payload<event::Action, event::FileOperation>,
    &take_payload<event::Observation, event::Prompt>,
    &take_payload<event::Observation, event::Thought>,
    &take_payload<event::Observation, event::ToolOutput>,
    &take_payload<event::Observation, event::ShellCommandOutput>,
    &take_payload<event::Observation, event::WebFetchOutput>,
    &take_payload<event::Observation, event::FileOperationResult>,
    &take_payload<event::Control, event::Started>,
    &take_payload<event::Control, event::Completed>,
    &take_payload<event::Control, event::Failed>,
    &take_payload<event::Control, event::Terminated>,
    &take_payload<event::Control, event::Suspended>,
    &take_payload<event::Control, event::Resumed>,
    &take_payload<event::Control, result::Adjudicated>,
    &take_payload<event::State, event::Snapshot>,
};

[[gnu::cold]] bool payload_type_error() {
  PyErr_SetString(PyExc_TypeError,
                  "event must be one of: ToolCall, ShellCommand, WebFetch, FileOperation, Prompt, Thought, "
                  "ToolOutput, ShellCommandOutput, WebFetchOutput, FileOperationResult, Started, Completed, Failed, "
                  "Terminated, Suspended, Resumed, Adjudicated, Snapshot");
  return false;
}

[[gnu::cold]] bool value_error(std::string_view prefix, std::string_view detail) {
  std::string text(prefix);
  text.append(detail);
  set_error_text(PyExc_ValueError, text);
  return false;
}

// --- construction ------------------------------------------------------------

// After binding, in this order: the payload, the defaults that depend on
// the agent, the provider call id, the timestamp. `raw` is dropped.
bool finish_event(Event& event, PyObject* payload, std::optional<event::Actor> actor,
                  std::optional<event::Causality> causality, std::optional<event::ExecutionAttribution> execution,
                  std::optional<std::string> provider_call_id, std::optional<std::string_view> timestamp,
                  std::optional<PyObject*>) {
  bool taken = false;
  for (PayloadTaker take : kPayloadTakers) {
    if ((taken = take(payload, event.event))) break;
  }
  if (!taken) return payload_type_error();
  if (actor) {
    event.actor = std::move(*actor);
  } else {
    event.actor = event::Actor{event.agent.id, event::ActorType::Agent};
  }
  if (causality) {
    event.causality = std::move(*causality);
  } else if (!generate_into(event.causality.correlation_id, kCorrelationIdPrefix)) {
    return false;
  }
  event.execution = std::move(execution);
  if (provider_call_id) {
    if (auto fault = core::provider_call_id_fault(*provider_call_id)) return value_error("Invalid provider_call_id: ", *fault);
    event.provider_call_id = std::move(provider_call_id);
  }
  if (timestamp) {
    auto parsed = event::parse_rfc3339(*timestamp);
    if (!parsed) return value_error("Invalid timestamp: ", event::message(parsed.error()));
    event.timestamp = *parsed;
  } else {
    event.timestamp = event::Timestamp::now();
  }
  return true;
}

// --- properties ----------------------------------------------------------------

PyObject* timestamp_property(const Event& event) {
  return new_str(event::format_rfc3339_utc_offset(event.timestamp));
}

// A new object of the payload's own class.
PyObject* event_property(const Event& event) {
  return std::visit(
      [](const auto& category) {
        return std::visit([](const auto& payload) { return py_value(payload); }, category);
      },
      event.event);
}

PyObject* category_property(const Event& event) { return new_str(event::event_category_name(event.event)); }
PyObject* event_type_property(const Event& event) { return new_str(event::event_type_name(event.event)); }
// Shown last, after the members, in this order.
PyObject* execution_property(const Event& event) { return py_value(event.execution); }
PyObject* provider_call_id_property(const Event& event) { return py_value(event.provider_call_id); }

// Event(event_id="evt-...", category="action", event_type="tool_call")
PyObject* event_repr(const Event& event) {
  return ReprText("Event")
      .quoted("event_id", event.event_id)
      .quoted("category", event::event_category_name(event.event))
      .quoted("event_type", event::event_type_name(event.event))
      .finish();
}

constexpr auto kEvent = describe<EventClass, &finish_event>(
    {.name = "Event",
     .doc = "Event envelope wrapping a trajectory event with metadata.",
     .repr = &event_repr,
     .strip_asset_content = true},
    prop("event_id", &Event::event_id),
    prop("trajectory_id", &Event::trajectory_id),
    pos<arg::Record<AgentClass>>("agent", &Event::agent),
    pos<arg::Text>("trajectory_id", &Event::trajectory_id),
    pos<arg::Object>("event"),
    kw<arg::Opt<arg::Record<ActorClass>>>("actor", "None"),
    kw<arg::Opt<arg::Record<CausalityClass>>>("causality", "None"),
    kw<arg::Opt<arg::Record<ExecutionAttributionClass>>>("execution", "None"),
    kw<arg::Opt<arg::Text>>("provider_call_id", "None"),
    kw<arg::GeneratedId<kEventIdPrefix>>("event_id", &Event::event_id, "None"),
    kw<arg::Opt<arg::TextView>>("timestamp", "None"),
    kw<arg::Opt<arg::Object>>("raw", "None"),
    prop<&timestamp_property>("timestamp", &Event::timestamp),
    prop<&event_property>("event", &Event::event)
        .doc("The concrete event payload (ToolCall, Prompt, Started, etc.)."),
    prop<&category_property>("category", &Event::event)
        .doc("Event category: \"action\", \"observation\", \"control\", or \"state\"."),
    prop<&event_type_property>("event_type", &Event::event)
        .doc("Specific event type name, e.g. \"tool_call\", \"prompt\", \"started\"."),
    prop("actor", &Event::actor),
    prop("causality", &Event::causality),
    prop<&execution_property>("execution"),
    prop<&provider_call_id_property>("provider_call_id"));

// --- JSON text and dict forms ------------------------------------------------

// The text straight from the record, stripped as it is written, in a
// buffer each thread keeps between calls.
PyObject* to_json_impl(const Event& event) {
  thread_local json::TextSink text;
  text.clear();  // keeps the buffer, unless a huge event made it huge
  json::write_text(event, text, core::StripAssetContentText{});
  return new_str(text.view());
}

PyObject* from_dict_impl(PyObject* data) {
  {
    // Read straight into the new object's record: the common case moves
    // nothing. On anything else the object goes, and the general path runs.
    Ref object = Ref::steal(emplace_object<EventClass>(type_object_or_panic<EventClass>()));
    if (!object) return nullptr;
    auto read = read_plain_event_dict(data, instance<EventClass>(object.get())->record);
    if (!read) return nullptr;
    if (*read) return object.release();
  }
  auto value = py_to_json(data);
  if (!value) return nullptr;
  auto event = event::decode_event_envelope(std::move(*value));
  if (!event) {
    envelope_value_error(event.error());
    return nullptr;
  }
  return create_object<EventClass>(std::move(*event));
}

PyObject* from_json_impl(std::string_view text) {
  // Read into the new object's record: plain text moves nothing.
  Ref object = Ref::steal(emplace_object<EventClass>(type_object_or_panic<EventClass>()));
  if (!object) return nullptr;
  if (auto read = event::read_event_envelope(text, instance<EventClass>(object.get())->record); !read) {
    envelope_value_error(read.error());
    return nullptr;
  }
  return object.release();
}

constexpr auto kFromDict = signature("Event", "from_dict", "from_dict(data)\n--\n\n", pos("data"));
constexpr auto kFromJson = signature("Event", "from_json", "from_json(json_str)\n--\n\n", pos("json_str"));

}  // namespace

// from_dict has no other path than normalising and decoding the JSON form.
constexpr DictForms kEventDictForms{&detail::to_dict_by_json<kEvent>, &from_dict_impl};

template <>
const ClassDef& EventClass::def() {
  static const ClassDef def = [] {
    ClassDef made = data_class<kEvent>({.methods = {
                                            to_dict_method<kEvent>(),
                                            method<EventClass, &to_json_impl>("to_json", "to_json($self)\n--\n\n"),
                                            static_method<kFromDict, &from_dict_impl, arg::Object>(),
                                            static_method<kFromJson, &from_json_impl, arg::TextView>(),
                                        }});
    made.dict_forms = &kEventDictForms;
    return made;
  }();
  return def;
}

}  // namespace revizer::python
