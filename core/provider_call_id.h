#pragma once

// The screen of a provider call identifier, shared by the Event constructor
// (which refuses a bad one) and admit_provider_call_id (which lets it
// degrade to None). Plain C++.

#include <optional>
#include <string_view>

#include "text/white_space.h"

namespace revizer::core {

inline constexpr std::size_t kMaxProviderCallIdBytes = 256;

// Why `value` is not a usable identifier, the first rule that fails:
// "empty", "whitespace_only", "contains_nul" or "too_long" (more than 256
// bytes of UTF-8); nothing when it is usable.
inline std::optional<std::string_view> provider_call_id_fault(std::string_view value) noexcept {
  if (value.empty()) return "empty";
  if (unicode::is_blank(value)) return "whitespace_only";
  if (value.find('\0') != std::string_view::npos) return "contains_nul";
  if (value.size() > kMaxProviderCallIdBytes) return "too_long";
  return std::nullopt;
}

}  // namespace revizer::core
