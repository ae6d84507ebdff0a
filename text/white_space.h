#pragma once

#include <string_view>

namespace revizer::unicode {

// The text without the Unicode White_Space characters at both ends, at the
// start or at the end. Ill-formed bytes count as text, never as space.
std::string_view trim_white_space(std::string_view text) noexcept;
std::string_view trim_white_space_start(std::string_view text) noexcept;
std::string_view trim_white_space_end(std::string_view text) noexcept;

// True when some code point of `text` is White_Space.
bool contains_white_space(std::string_view text) noexcept;

// True when nothing but White_Space characters (or nothing at all) remains.
bool is_blank(std::string_view text) noexcept;

}  // namespace revizer::unicode
