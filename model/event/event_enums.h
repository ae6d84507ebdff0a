#pragma once

// The enumerations of trajectory events. TrajectoryStatus is held by no
// record and has no JSON form (its JSON column is empty).

#include <array>
#include <cstdint>

#include "model/json/enum_codec.h"

namespace revizer::event {

enum class ActorType : std::uint8_t { Human, Agent, System, Policy };

enum class FileOpType : std::uint8_t { Read, Write, Edit, Delete };

enum class PromptRole : std::uint8_t { User, System, Assistant };

enum class TrajectoryStatus : std::uint8_t { Pending, Running, Completed, Failed, Terminated, Suspended };

}  // namespace revizer::event

template <>
struct revizer::json::EnumTable<revizer::event::ActorType> {
  static constexpr std::array<EnumRow, 4> rows{{{"Human", "HUMAN", "human"},
                                                {"Agent", "AGENT", "agent"},
                                                {"System", "SYSTEM", "system"},
                                                {"Policy", "POLICY", "policy"}}};
};

template <>
struct revizer::json::EnumTable<revizer::event::FileOpType> {
  static constexpr std::array<EnumRow, 4> rows{{{"Read", "READ", "read"},
                                                {"Write", "WRITE", "write"},
                                                {"Edit", "EDIT", "edit"},
                                                {"Delete", "DELETE", "delete"}}};
};

template <>
struct revizer::json::EnumTable<revizer::event::PromptRole> {
  static constexpr std::array<EnumRow, 3> rows{
      {{"User", "USER", "user"}, {"System", "SYSTEM", "system"}, {"Assistant", "ASSISTANT", "assistant"}}};
};

template <>
struct revizer::json::EnumTable<revizer::event::TrajectoryStatus> {
  static constexpr std::array<EnumRow, 6> rows{{{"", "PENDING", "pending"},
                                                {"", "RUNNING", "running"},
                                                {"", "COMPLETED", "completed"},
                                                {"", "FAILED", "failed"},
                                                {"", "TERMINATED", "terminated"},
                                                {"", "SUSPENDED", "suspended"}}};
};
