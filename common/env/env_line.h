#pragma once

// The line syntax of env files, shared by the rewrite and the loader.

#include <optional>
#include <string>
#include <string_view>

namespace revizer::common {

// The key a line (without its line end) carries, as a slice of it: white space
// trimmed, comments and blank lines skipped, an "export " prefix dropped, the
// text before the first "=" with trailing white space removed, never empty.
std::optional<std::string_view> env_line_key(std::string_view line);

// The line the rewrite writes for `key` and `value`. A plain value is written
// as-is ("KEY=value"); a value the loader would read differently unquoted
// (blank at either end, a leading quote, a "#") is double-quoted with "\" and
// "\"" escaped, so that every written value loads back unchanged.
std::string format_env_line(std::string_view key, std::string_view value);

// Blanks that the loader trims around unquoted values.
inline bool is_env_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace revizer::common
