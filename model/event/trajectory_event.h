#pragma once

// What happened in one step of a trajectory: a union of four categories, each
// a union of payload records, in this index order. Both levels are written
// and read as adjacently tagged unions: {"category": "Action", "payload":
// {"type": "ToolCall", "data": {...}}}, also in either key order and as
// two-element arrays.

#include <array>
#include <string_view>
#include <variant>

#include "model/event/action_record.h"
#include "model/event/lifecycle_record.h"
#include "model/event/observation_record.h"
#include "model/event/snapshot_record.h"
#include "model/json/adjacent_union.h"
#include "model/result/adjudicated_record.h"
#include "model/result/scanned.h"

namespace revizer::event {

using Action = std::variant<ToolCall, ShellCommand, WebFetch, FileOperation>;
using Observation =
    std::variant<Prompt, Thought, ToolOutput, ShellCommandOutput, WebFetchOutput, FileOperationResult>;
// Adjudicated and Scanned are the result model's records.
using Control =
    std::variant<Started, Completed, Failed, Terminated, Suspended, Resumed, result::Adjudicated, result::Scanned>;
using State = std::variant<Snapshot>;
using TrajectoryEvent = std::variant<Action, Observation, Control, State>;

namespace record {

inline constexpr json::AdjacentUnion<Action> kAction{
    "adjacently tagged enum Action", "type", "data", {"ToolCall", "ShellCommand", "WebFetch", "FileOperation"}};

inline constexpr json::AdjacentUnion<Observation> kObservation{
    "adjacently tagged enum Observation",
    "type",
    "data",
    {"Prompt", "Thought", "ToolOutput", "ShellCommandOutput", "WebFetchOutput", "FileOperationResult"}};

inline constexpr json::AdjacentUnion<Control> kControl{
    "adjacently tagged enum Control",
    "type",
    "data",
    {"Started", "Completed", "Failed", "Terminated", "Suspended", "Resumed", "Adjudicated", "Scanned"}};

inline constexpr json::AdjacentUnion<State> kState{"adjacently tagged enum State", "type", "data", {"Snapshot"}};

inline constexpr json::AdjacentUnion<TrajectoryEvent> kTrajectoryEvent{
    "adjacently tagged enum TrajectoryEvent", "category", "payload", {"Action", "Observation", "Control", "State"}};

// The names the Python layer and the wire messages derive from an event, in
// the variants' index order.
inline constexpr std::array<std::string_view, 4> kCategoryNames{"action", "observation", "control", "state"};
inline constexpr std::array<std::string_view, 4> kActionNames{"tool_call", "shell_command", "web_fetch",
                                                              "file_operation"};
inline constexpr std::array<std::string_view, 6> kObservationNames{
    "prompt", "thought", "tool_output", "shell_command_output", "web_fetch_output", "file_operation_result"};
inline constexpr std::array<std::string_view, 8> kControlNames{
    "started", "completed", "failed", "terminated", "suspended", "resumed", "adjudicated", "scanned"};
inline constexpr std::array<std::string_view, 1> kStateNames{"snapshot"};

static_assert(kActionNames.size() == std::variant_size_v<Action> &&
              kObservationNames.size() == std::variant_size_v<Observation> &&
              kControlNames.size() == std::variant_size_v<Control> &&
              kStateNames.size() == std::variant_size_v<State>);

}  // namespace record

constexpr const auto& json_record(const Action*) { return record::kAction; }
constexpr const auto& json_record(const Observation*) { return record::kObservation; }
constexpr const auto& json_record(const Control*) { return record::kControl; }
constexpr const auto& json_record(const State*) { return record::kState; }
constexpr const auto& json_record(const TrajectoryEvent*) { return record::kTrajectoryEvent; }

// "action", "observation", "control" or "state".
constexpr std::string_view event_category_name(const TrajectoryEvent& event) {
  return record::kCategoryNames[event.index()];
}

// The payload's name in snake case: "tool_call" ... "snapshot".
constexpr std::string_view event_type_name(const TrajectoryEvent& event) {
  constexpr std::array<const std::string_view*, 4> kByCategory{
      record::kActionNames.data(), record::kObservationNames.data(), record::kControlNames.data(),
      record::kStateNames.data()};
  const std::size_t variant = std::visit([](const auto& category) { return category.index(); }, event);
  return kByCategory[event.index()][variant];
}

}  // namespace revizer::event
