// Scanned: "Result of LLM-based event or transcript scanning." One of three
// kinds, each naming its source event and holding one scan result, which
// goes in and comes out in its dict form (`typed_result()` gives the object).
#include <array>
#include <variant>

#include "python/src/classes/data_class.h"
#include "python/src/classes/scan_classes.h"

namespace revizer::python {
namespace {

using result::Scanned;

// The kinds' Python names, in index order (their JSON tags are PascalCase).
constexpr std::array<std::string_view, std::variant_size_v<Scanned>> kScanTypes{"message", "transcript_digest",
                                                                                 "transcript_scan"};

// The scan of kind `Kind` (a result::ScanOf<R>) from the result's dict form.
template <class Kind>
PyResult<Scanned> scan_of(std::string source_event_id, PyObject* result) {
  auto decoded = from_py<decltype(Kind::result)>(result);
  if (!decoded) return raised();
  return Scanned(std::in_place_type<Kind>, Kind{std::move(source_event_id), std::move(*decoded)});
}

template <class Kind>
PyObject* new_scan(std::string source_event_id, PyObject* result) {
  auto scan = scan_of<Kind>(std::move(source_event_id), result);
  if (!scan) return nullptr;
  return create_object<ScannedClass>(std::move(*scan));
}

// The constructor builds the message kind, as `Scanned.message` does.
bool finish_message(Scanned& record, std::string source_event_id, PyObject* result) {
  auto scan = scan_of<result::ScannedMessage>(std::move(source_event_id), result);
  if (!scan) return false;
  record = std::move(*scan);
  return true;
}

// Scanned(scan_type="transcript_digest", source_event_id="evt-1")
PyObject* repr_impl(const Scanned& scan) {
  return ReprText("Scanned")
      .quoted("scan_type", kScanTypes[scan.index()])
      .quoted("source_event_id", std::visit([](const auto& kind) -> const std::string& { return kind.source_event_id; }, scan))
      .finish();
}

constexpr auto kScanned = describe<ScannedClass, &finish_message>(
    {.name = "Scanned", .doc = "Result of LLM-based event or transcript scanning.", .repr = &repr_impl},
    pos<arg::Text>("source_event_id"), pos<arg::Object>("result"));

PyObject* source_event_id(const Scanned& scan) {
  return std::visit([](const auto& kind) { return py_value(kind.source_event_id); }, scan);
}
PyObject* result_dict(const Scanned& scan) {
  return std::visit([](const auto& kind) { return to_py(kind.result); }, scan);
}
PyObject* scan_type(const Scanned& scan) { return new_str(kScanTypes[scan.index()]); }
PyObject* typed_result(const Scanned& scan) {
  return std::visit([](const auto& kind) { return py_value(kind.result); }, scan);
}

constexpr auto kMessage = signature("Scanned", "message",
                                    "message(source_event_id, result)\n--\n\nCreate a message-level scan result.",
                                    pos("source_event_id"), pos("result"));
constexpr auto kTranscriptDigest = signature(
    "Scanned", "transcript_digest",
    "transcript_digest(source_event_id, result)\n--\n\nCreate a transcript digest scan result.",
    pos("source_event_id"), pos("result"));
constexpr auto kTranscriptScan = signature(
    "Scanned", "transcript_scan",
    "transcript_scan(source_event_id, result)\n--\n\nCreate a transcript-level behavioral scan result.",
    pos("source_event_id"), pos("result"));

}  // namespace

template <>
const ClassDef& ScannedClass::def() {
  return data_class<kScanned>({
      .methods =
          {
              static_method<kMessage, &new_scan<result::ScannedMessage>, arg::Text, arg::Object>(),
              static_method<kTranscriptDigest, &new_scan<result::ScannedTranscriptDigest>, arg::Text, arg::Object>(),
              static_method<kTranscriptScan, &new_scan<result::ScannedTranscriptScan>, arg::Text, arg::Object>(),
              method<ScannedClass, &typed_result>(
                  "typed_result",
                  "typed_result($self)\n--\n\nReturn the scan result as a typed Python object.\n\n"
                  "Returns an ``EventScanResult``, ``TranscriptDigest``, or\n``TranscriptScanResult`` depending on "
                  "``scan_type``."),
          },
      .properties =
          {
              property<ScannedClass, &source_event_id>("source_event_id"),
              property<ScannedClass, &result_dict>(
                  "result",
                  "Return the scan result as a plain dict (variant-agnostic).\n\n"
                  "Use ``typed_result()`` to get a fully-typed Python object instead."),
              property<ScannedClass, &scan_type>("scan_type"),
          },
  });
}

}  // namespace revizer::python
