#pragma once

// The records of LLM-based trajectory scans: signals, the scan of one event,
// the digest of a whole transcript with its phases, and the behavioural scan
// of a transcript. Callers build them; nothing is derived or checked beyond
// the JSON types (counts need not agree with lists, confidence has no range).
// JSON forms in scan_results_record.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/result/scan_enums.h"

namespace revizer::result {

// "A concrete signal detected in a trajectory event or transcript."
struct Signal {
  SignalFocus focus = SignalFocus::Environment;
  SignalCategory category = SignalCategory::InputIssues;
  SignalSeverity severity = SignalSeverity::Info;
  std::string description;
  std::vector<std::uint32_t> evidence_indices;  // not interpreted

  friend bool operator==(const Signal&, const Signal&) = default;
};

// "Structured result of scanning a single trajectory event."
struct EventScanResult {
  std::string explanation;
  MessageType message_type = MessageType::ToolCall;
  AgentIntent intent = AgentIntent::Investigate;
  std::string description;
  std::vector<std::string> key_entities;
  bool is_side_effecting = false;
  std::vector<Signal> signals;
  double confidence = 0;
  // Absent: none was supplied; an empty embedding stays empty.
  std::optional<std::vector<double>> embedding;

  // Floats compare by IEEE equality: a NaN makes the record unequal to itself.
  friend bool operator==(const EventScanResult&, const EventScanResult&) = default;
};

// "A logical work phase within a trajectory transcript."
struct TranscriptPhase {
  std::string name;
  std::string description;
  std::vector<std::uint32_t> event_indices;

  friend bool operator==(const TranscriptPhase&, const TranscriptPhase&) = default;
};

// "Hierarchical summary of an entire trajectory transcript."
struct TranscriptDigest {
  std::string trajectory_id;
  std::string title;
  std::string summary;
  bool interim = false;
  std::vector<TranscriptPhase> phases;
  std::vector<std::string> files_modified;
  std::vector<std::string> tools_used;
  std::uint32_t total_events = 0;
  std::uint32_t side_effecting_count = 0;

  friend bool operator==(const TranscriptDigest&, const TranscriptDigest&) = default;
};

// "Full behavioral scan of a trajectory transcript."
struct TranscriptScanResult {
  std::string explanation;
  TranscriptOutcome outcome = TranscriptOutcome::Success;
  std::string outcome_description;
  SignalSeverity aggregate_severity = SignalSeverity::Info;
  std::vector<Signal> signals;
  std::string adjudication_summary;
  std::vector<std::string> behavioral_notes;
  double confidence = 0;

  friend bool operator==(const TranscriptScanResult&, const TranscriptScanResult&) = default;
};

}  // namespace revizer::result
