#pragma once

// Texts shown in double quotes inside messages and reprs: printable text as
// it is, the usual backslash escapes, and \u{hex} for characters that would
// not show (controls, format, surrogate, private-use, unassigned and
// separator characters other than the space, and grapheme extenders).

#include <string>
#include <string_view>

namespace revizer::unicode {

// Appends "text" with \" \\ \0 \t \n \r and \u{hex} escapes.
void append_quoted(std::string& out, std::string_view text);
std::string quoted(std::string_view text);

}  // namespace revizer::unicode
