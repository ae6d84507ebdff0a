#pragma once

// The JSON descriptions of the scan records. Every key is written, even empty
// lists; only an absent embedding is left out. A non-finite confidence or
// embedding element is written as null, which stored files and the service
// expect, and which does not read back.

#include "model/json/record.h"
#include "model/result/scan_results.h"

namespace revizer::result {

namespace record {

using namespace json::describe;

inline constexpr json::Record kSignal{"struct Signal",
                                      field<Always, Required>("focus", &Signal::focus),
                                      field<Always, Required>("category", &Signal::category),
                                      field<Always, Required>("severity", &Signal::severity),
                                      field<Always, Required>("description", &Signal::description),
                                      field<Always, Default>("evidence_indices", &Signal::evidence_indices)};

inline constexpr json::Record kEventScanResult{
    "struct EventScanResult",
    field<Always, Required>("explanation", &EventScanResult::explanation),
    field<Always, Required>("message_type", &EventScanResult::message_type),
    field<Always, Required>("intent", &EventScanResult::intent),
    field<Always, Required>("description", &EventScanResult::description),
    field<Always, Default>("key_entities", &EventScanResult::key_entities),
    field<Always, Required>("is_side_effecting", &EventScanResult::is_side_effecting),
    field<Always, Default>("signals", &EventScanResult::signals),
    field<Always, Required>("confidence", &EventScanResult::confidence),
    field<WhenPresent, DefaultAbsent>("embedding", &EventScanResult::embedding)};

inline constexpr json::Record kTranscriptPhase{
    "struct TranscriptPhase",
    field<Always, Required>("name", &TranscriptPhase::name),
    field<Always, Required>("description", &TranscriptPhase::description),
    field<Always, Default>("event_indices", &TranscriptPhase::event_indices)};

inline constexpr json::Record kTranscriptDigest{
    "struct TranscriptDigest",
    field<Always, Required>("trajectory_id", &TranscriptDigest::trajectory_id),
    field<Always, Required>("title", &TranscriptDigest::title),
    field<Always, Required>("summary", &TranscriptDigest::summary),
    field<Always, Default>("interim", &TranscriptDigest::interim),
    field<Always, Default>("phases", &TranscriptDigest::phases),
    field<Always, Default>("files_modified", &TranscriptDigest::files_modified),
    field<Always, Default>("tools_used", &TranscriptDigest::tools_used),
    field<Always, Required>("total_events", &TranscriptDigest::total_events),
    field<Always, Required>("side_effecting_count", &TranscriptDigest::side_effecting_count)};

inline constexpr json::Record kTranscriptScanResult{
    "struct TranscriptScanResult",
    field<Always, Required>("explanation", &TranscriptScanResult::explanation),
    field<Always, Required>("outcome", &TranscriptScanResult::outcome),
    field<Always, Required>("outcome_description", &TranscriptScanResult::outcome_description),
    field<Always, Required>("aggregate_severity", &TranscriptScanResult::aggregate_severity),
    field<Always, Default>("signals", &TranscriptScanResult::signals),
    field<Always, Required>("adjudication_summary", &TranscriptScanResult::adjudication_summary),
    field<Always, Default>("behavioral_notes", &TranscriptScanResult::behavioral_notes),
    field<Always, Required>("confidence", &TranscriptScanResult::confidence)};

}  // namespace record

constexpr const auto& json_record(const Signal*) { return record::kSignal; }
constexpr const auto& json_record(const EventScanResult*) { return record::kEventScanResult; }
constexpr const auto& json_record(const TranscriptPhase*) { return record::kTranscriptPhase; }
constexpr const auto& json_record(const TranscriptDigest*) { return record::kTranscriptDigest; }
constexpr const auto& json_record(const TranscriptScanResult*) { return record::kTranscriptScanResult; }

}  // namespace revizer::result
