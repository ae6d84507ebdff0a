#pragma once

// Enumerations of trajectory events.

#include "python/src/binding/enum_class.h"

namespace revizer::python {

inline constexpr EnumMember kActorTypeMembers[] = {
    {"HUMAN", "human"}, {"AGENT", "agent"}, {"SYSTEM", "system"}, {"POLICY", "policy"}};
inline constexpr EnumDef kActorTypeDef{
    "ActorType", "ActorType(value)\n--\n\nActor type in the trajectory.", kActorTypeMembers,
    "Invalid actor type: '%U'. Must be 'human', 'agent', 'system', or 'policy'", false};
using ActorType = EnumClass<kActorTypeDef>;

inline constexpr EnumMember kFileOpTypeMembers[] = {
    {"READ", "read"}, {"WRITE", "write"}, {"EDIT", "edit"}, {"DELETE", "delete"}};
inline constexpr EnumDef kFileOpTypeDef{
    "FileOpType", "FileOpType(value)\n--\n\nFile operation type.", kFileOpTypeMembers,
    "Invalid file op type: '%U'. Must be 'read', 'write', 'edit', or 'delete'", false};
using FileOpType = EnumClass<kFileOpTypeDef>;

inline constexpr EnumMember kPromptRoleMembers[] = {{"USER", "user"}, {"SYSTEM", "system"}, {"ASSISTANT", "assistant"}};
inline constexpr EnumDef kPromptRoleDef{"PromptRole", "PromptRole(value)\n--\n\nPrompt role.", kPromptRoleMembers,
                                        "Invalid prompt role: '%U'. Must be 'user', 'system', or 'assistant'", false};
using PromptRole = EnumClass<kPromptRoleDef>;

inline constexpr EnumMember kTrajectoryStatusMembers[] = {
    {"PENDING", "pending"}, {"RUNNING", "running"},       {"COMPLETED", "completed"},
    {"FAILED", "failed"},   {"TERMINATED", "terminated"}, {"SUSPENDED", "suspended"}};
inline constexpr EnumDef kTrajectoryStatusDef{
    "TrajectoryStatus", "TrajectoryStatus(value)\n--\n\nTrajectory lifecycle status.", kTrajectoryStatusMembers,
    "Invalid trajectory status: '%U'. Must be 'pending', 'running', 'completed', 'failed', 'terminated', or "
    "'suspended'",
    false};
using TrajectoryStatus = EnumClass<kTrajectoryStatusDef>;

}  // namespace revizer::python
