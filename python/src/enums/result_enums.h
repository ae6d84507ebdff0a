#pragma once

// Enumerations of adjudication results.

#include "python/src/binding/enum_class.h"

namespace revizer::python {

inline constexpr EnumMember kDecisionMembers[] = {{"ALLOW", "allow"}, {"DENY", "deny"}, {"ESCALATE", "escalate"}};
inline constexpr EnumDef kDecisionDef{
    "Decision", "Decision(value)\n--\n\nPolicy evaluation decision.", kDecisionMembers,
    "Invalid decision: '%U'. Must be 'allow', 'deny', or 'escalate'", false};
using Decision = EnumClass<kDecisionDef>;

inline constexpr EnumMember kModeMembers[] = {{"MONITOR", "monitor"}, {"GOVERN", "govern"}, {"STEER", "steer"}};
inline constexpr EnumDef kModeDef{"Mode", "Mode(value)\n--\n\nPolicy engine evaluation mode.", kModeMembers,
                                  "Invalid mode: '%U'. Must be 'monitor', 'govern', or 'steer'", false};
using Mode = EnumClass<kModeDef>;

}  // namespace revizer::python
