#include "common/env/env_updates.h"

#include "common/error/io_error.h"
#include "text/utf8_bytes.h"
#include "text/white_space.h"

namespace revizer::common {
namespace {

bool has_line_break_or_nul(std::string_view text) {
  return text.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos;
}

bool is_acceptable_key(std::string_view key) {
  if (key.empty() || !unicode::is_valid_utf8(key)) return false;
  if (key.find_first_of(std::string_view("=#\0", 3)) != std::string_view::npos) return false;
  // White_Space covers the line breaks as well.
  return !unicode::contains_white_space(key);
}

}  // namespace

Status<InvalidEnvUpdate> check_env_update(std::string_view key, const std::optional<std::string>& value) {
  if (!is_acceptable_key(key)) {
    return fail(InvalidEnvUpdate{std::string(key),
                                 "invalid env file key " + quote_debug(key) +
                                     ": a key must not be empty or contain \"=\", \"#\", white space, "
                                     "a line break or NUL"});
  }
  if (value && has_line_break_or_nul(*value)) {
    return fail(InvalidEnvUpdate{std::string(key), "invalid env file value for key " + quote_debug(key) +
                                                       ": a value must not contain a line break or NUL"});
  }
  return Ok{};
}

Status<InvalidEnvUpdate> EnvUpdates::set(std::string key, std::optional<std::string> value) {
  if (auto checked = check_env_update(key, value); !checked) return checked;
  if (auto it = index_.find(key); it != index_.end()) {
    entries_[it->second].value = std::move(value);
    return Ok{};
  }
  index_.emplace(key, entries_.size());
  entries_.push_back({std::move(key), std::move(value)});
  return Ok{};
}

const EnvUpdates::Entry* EnvUpdates::find(std::string_view key) const {
  const auto it = index_.find(std::string(key));
  return it == index_.end() ? nullptr : &entries_[it->second];
}

}  // namespace revizer::common
