#pragma once

// Enumerations of adjudication results.

#include "model/result/decision.h"
#include "python/src/enums/enum_members.h"

namespace revizer::python {

template <>
struct EnumSpec<result::Decision> {
  static constexpr EnumDef def{
    "Decision", "Decision(value)\n--\n\nPolicy evaluation decision.", kMembersOf<result::Decision>,
    "Invalid decision: '%U'. Must be 'allow', 'deny', or 'escalate'", false};
};
using Decision = EnumClass<result::Decision>;

template <>
struct EnumSpec<result::Mode> {
  static constexpr EnumDef def{"Mode", "Mode(value)\n--\n\nPolicy engine evaluation mode.", kMembersOf<result::Mode>,
                                  "Invalid mode: '%U'. Must be 'monitor', 'govern', or 'steer'", false};
};
using Mode = EnumClass<result::Mode>;

}  // namespace revizer::python
