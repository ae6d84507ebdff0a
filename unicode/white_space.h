#pragma once

#include <string_view>

namespace revizer::unicode {

// The text without the Unicode White_Space characters at both ends.
std::string_view trim_white_space(std::string_view text) noexcept;

// True when nothing but White_Space characters (or nothing at all) remains.
bool is_blank(std::string_view text) noexcept;

}  // namespace revizer::unicode
