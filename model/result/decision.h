#pragma once

// The verdict of one adjudication and the mode the policy engine ran in.

#include <array>
#include <cstdint>

#include "model/json/enum_codec.h"

namespace revizer::result {

enum class Decision : std::uint8_t { Allow, Deny, Escalate };

// Monitor when a result does not say.
enum class Mode : std::uint8_t { Monitor, Govern, Steer };

}  // namespace revizer::result

template <>
struct revizer::json::EnumTable<revizer::result::Decision> {
  static constexpr std::array<EnumRow, 3> rows{
      {{"Allow", "ALLOW", "allow"}, {"Deny", "DENY", "deny"}, {"Escalate", "ESCALATE", "escalate"}}};
};

template <>
struct revizer::json::EnumTable<revizer::result::Mode> {
  static constexpr std::array<EnumRow, 3> rows{
      {{"monitor", "MONITOR", "monitor"}, {"govern", "GOVERN", "govern"}, {"steer", "STEER", "steer"}}};
};
