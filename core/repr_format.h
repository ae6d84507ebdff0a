#pragma once

// The value formats of the data classes' reprs: quoted texts with escapes,
// optional texts, booleans, floats, counts and lists of texts. Plain C++ (no
// Python objects), so every class's repr template is filled the same way.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/quoted_text.h"

namespace revizer::repr {

// "text" with escapes, as everywhere else in the system.
using unicode::append_quoted;
using unicode::quoted;

// None, or Some("text").
void append_optional_text(std::string& out, const std::optional<std::string>& text);

// true or false.
void append_bool(std::string& out, bool value);

// Fixed-point with two decimals; NaN, inf and -inf as such.
void append_float(std::string& out, double value);

// A count or any integer, in decimal.
void append_integer(std::string& out, long long value);
void append_count(std::string& out, std::size_t count);

// ["a", "b"] with every text quoted; [] when empty.
void append_text_list(std::string& out, std::span<const std::string> texts);

}  // namespace revizer::repr
