#include "revizer/client/connect/adjudicates_timeout.h"

#include <cstdint>
#include <string>

#include "common/env/process_env.h"
#include "text/white_space.h"

namespace revizer::client {

std::chrono::milliseconds adjudicates_timeout_from(std::optional<std::string_view> value) {
  if (!value) return kDefaultAdjudicatesTimeout;
  std::string_view text = unicode::trim_white_space(*value);
  if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return kDefaultAdjudicatesTimeout;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return kDefaultAdjudicatesTimeout;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (number > (UINT64_MAX - digit) / 10) return kDefaultAdjudicatesTimeout;  // not a u64
    number = number * 10 + digit;
  }
  if (number < 1 || number > 7000) return kDefaultAdjudicatesTimeout;
  return std::chrono::milliseconds(number);
}

std::chrono::milliseconds adjudicates_timeout() {
  const std::optional<std::string> value = common::env_read_text(kAdjudicatesTimeoutVariable);
  return adjudicates_timeout_from(value ? std::optional<std::string_view>(*value) : std::nullopt);
}

}  // namespace revizer::client
