#pragma once

// "Result of LLM-based event or transcript scanning.": the payload of the
// Scanned control event, one of three kinds, each naming the event the scan
// was made from and holding one scan result. Its JSON form is adjacently
// tagged, {"scan_type": "Message", "data": {"source_event_id": ..., "result":
// {...}}}; the event model reads it with json::decode<Scanned>(value, mode),
// in Mode::Buffered when the enclosing union's content came before its tag.

#include <string>
#include <variant>

#include "model/json/adjacent_union.h"
#include "model/json/object_record.h"
#include "model/result/scan_results_record.h"

namespace revizer::result {

// One kind of scan: the source event and its result.
template <class R>
struct ScanOf {
  std::string source_event_id;
  R result;

  friend bool operator==(const ScanOf&, const ScanOf&) = default;
};

using ScannedMessage = ScanOf<EventScanResult>;
using ScannedTranscriptDigest = ScanOf<TranscriptDigest>;
using ScannedTranscriptScan = ScanOf<TranscriptScanResult>;

// The kinds in index order (the order buffered content's variant indices use).
using Scanned = std::variant<ScannedMessage, ScannedTranscriptDigest, ScannedTranscriptScan>;

namespace record {

using namespace json::describe;

// The data object of each kind has no array form.
template <class R>
consteval auto scan_of(std::string_view expecting) {
  return json::ObjectRecord{expecting, field<Always, Required>("source_event_id", &ScanOf<R>::source_event_id),
                            field<Always, Required>("result", &ScanOf<R>::result)};
}

inline constexpr auto kScannedMessage = scan_of<EventScanResult>("struct variant Scanned::Message");
inline constexpr auto kScannedTranscriptDigest = scan_of<TranscriptDigest>("struct variant Scanned::TranscriptDigest");
inline constexpr auto kScannedTranscriptScan = scan_of<TranscriptScanResult>("struct variant Scanned::TranscriptScan");

inline constexpr json::AdjacentUnion<Scanned> kScanned{
    "adjacently tagged enum Scanned", "scan_type", "data", {"Message", "TranscriptDigest", "TranscriptScan"}};

}  // namespace record

constexpr const auto& json_record(const ScannedMessage*) { return record::kScannedMessage; }
constexpr const auto& json_record(const ScannedTranscriptDigest*) { return record::kScannedTranscriptDigest; }
constexpr const auto& json_record(const ScannedTranscriptScan*) { return record::kScannedTranscriptScan; }
constexpr const auto& json_record(const Scanned*) { return record::kScanned; }

}  // namespace revizer::result
