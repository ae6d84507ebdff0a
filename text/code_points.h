#pragma once

// Walking UTF-8 text code point by code point. The texts handed to this
// module come from Python strings or the JSON reader and are well formed;
// an ill-formed sequence still never reads out of bounds and yields U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace revizer::unicode {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at `offset` and advances `offset` past it.
char32_t next_code_point(std::string_view text, std::size_t& offset) noexcept;

// Appends `cp` to `out` as UTF-8.
void append_utf8(std::string& out, char32_t cp);

}  // namespace revizer::unicode
