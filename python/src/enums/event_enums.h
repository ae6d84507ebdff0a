#pragma once

// Enumerations of trajectory events.

#include "model/event/event_enums.h"
#include "python/src/enums/enum_members.h"

namespace revizer::python {

template <>
struct EnumSpec<event::ActorType> {
  static constexpr EnumDef def{
    "ActorType", "ActorType(value)\n--\n\nActor type in the trajectory.", kMembersOf<event::ActorType>,
    "Invalid actor type: '%U'. Must be 'human', 'agent', 'system', or 'policy'", false};
};
using ActorType = EnumClass<event::ActorType>;

template <>
struct EnumSpec<event::FileOpType> {
  static constexpr EnumDef def{
    "FileOpType", "FileOpType(value)\n--\n\nFile operation type.", kMembersOf<event::FileOpType>,
    "Invalid file op type: '%U'. Must be 'read', 'write', 'edit', or 'delete'", false};
};
using FileOpType = EnumClass<event::FileOpType>;

template <>
struct EnumSpec<event::PromptRole> {
  static constexpr EnumDef def{"PromptRole", "PromptRole(value)\n--\n\nPrompt role.", kMembersOf<event::PromptRole>,
                                        "Invalid prompt role: '%U'. Must be 'user', 'system', or 'assistant'", false};
};
using PromptRole = EnumClass<event::PromptRole>;

template <>
struct EnumSpec<event::TrajectoryStatus> {
  static constexpr EnumDef def{
    "TrajectoryStatus", "TrajectoryStatus(value)\n--\n\nTrajectory lifecycle status.", kMembersOf<event::TrajectoryStatus>,
    "Invalid trajectory status: '%U'. Must be 'pending', 'running', 'completed', 'failed', 'terminated', or "
    "'suspended'",
    false};
};
using TrajectoryStatus = EnumClass<event::TrajectoryStatus>;

}  // namespace revizer::python
