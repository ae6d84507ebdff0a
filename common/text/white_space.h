#pragma once

// The Unicode White_Space property and trimming by it. The set is small and
// fixed by the Unicode standard, so it is a table here rather than a call into
// a Unicode library (utf8proc exposes categories, not this property).

#include <string_view>

namespace revizer::text {

bool is_white_space(char32_t code_point);

// `text` must be valid UTF-8; invalid bytes are treated as non-space.
std::string_view trim_white_space(std::string_view text);
std::string_view trim_white_space_end(std::string_view text);
std::string_view trim_white_space_start(std::string_view text);

// True when some code point of valid UTF-8 `text` is White_Space.
bool contains_white_space(std::string_view text);

}  // namespace revizer::text
