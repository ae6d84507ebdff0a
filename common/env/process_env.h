#pragma once

// Every read and write of the process environment by this module goes through
// here: one process-wide reader/writer lock is held around each single
// getenv/setenv, so no reader of ours ever sees a variable half written.

#include <optional>
#include <string>
#include <string_view>

namespace revizer::common {

// The value's raw bytes, or nothing when unset.
std::optional<std::string> env_read_bytes(std::string_view name);

// The value when it is set and valid UTF-8; anything else counts as unset.
std::optional<std::string> env_read_text(std::string_view name);

// Sets the variable unless it already holds valid UTF-8 text; the test and the
// write happen under one exclusive hold so a concurrent loader cannot slip in.
void env_write_unless_text(std::string_view name, std::string_view value);

}  // namespace revizer::common
