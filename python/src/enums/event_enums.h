#pragma once

// Enumerations of trajectory events.

#include "model/event/event_enums.h"
#include "python/src/enums/enum_members.h"

namespace revizer::python {

inline constexpr EnumDef kActorTypeDef{
    "ActorType", "ActorType(value)\n--\n\nActor type in the trajectory.", kMembersOf<event::ActorType>,
    "Invalid actor type: '%U'. Must be 'human', 'agent', 'system', or 'policy'", false};
using ActorType = EnumClass<kActorTypeDef>;

inline constexpr EnumDef kFileOpTypeDef{
    "FileOpType", "FileOpType(value)\n--\n\nFile operation type.", kMembersOf<event::FileOpType>,
    "Invalid file op type: '%U'. Must be 'read', 'write', 'edit', or 'delete'", false};
using FileOpType = EnumClass<kFileOpTypeDef>;

inline constexpr EnumDef kPromptRoleDef{"PromptRole", "PromptRole(value)\n--\n\nPrompt role.", kMembersOf<event::PromptRole>,
                                        "Invalid prompt role: '%U'. Must be 'user', 'system', or 'assistant'", false};
using PromptRole = EnumClass<kPromptRoleDef>;

inline constexpr EnumDef kTrajectoryStatusDef{
    "TrajectoryStatus", "TrajectoryStatus(value)\n--\n\nTrajectory lifecycle status.", kMembersOf<event::TrajectoryStatus>,
    "Invalid trajectory status: '%U'. Must be 'pending', 'running', 'completed', 'failed', 'terminated', or "
    "'suspended'",
    false};
using TrajectoryStatus = EnumClass<kTrajectoryStatusDef>;

}  // namespace revizer::python
