#pragma once

// The deadline of every Adjudicates call, read from
// TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS each time it is asked for: a
// decimal number of milliseconds (white space around it and one leading "+"
// allowed) from 1 to 7000; anything else gives 7000.

#include <chrono>
#include <optional>
#include <string_view>

namespace revizer::client {

inline constexpr std::chrono::milliseconds kDefaultAdjudicatesTimeout{7000};
inline constexpr const char* kAdjudicatesTimeoutVariable = "TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS";

std::chrono::milliseconds adjudicates_timeout();
// The rule above applied to a value (nothing: the variable is unset or not Unicode).
std::chrono::milliseconds adjudicates_timeout_from(std::optional<std::string_view> value);

}  // namespace revizer::client
