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

// The UTF-8 byte-order mark some editors put at the start of a file. It is
// no part of the first line: reading skips it, and a rewrite keeps it.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// `content` without a leading byte-order mark.
inline std::string_view without_byte_order_mark(std::string_view content) {
  return content.starts_with(kByteOrderMark) ? content.substr(kByteOrderMark.size()) : content;
}

// Blanks that the loader trims around unquoted values.
inline bool is_env_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace revizer::common
