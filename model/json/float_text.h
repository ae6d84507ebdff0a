#pragma once

// Shortest round-trip text of a finite double, shared by the JSON writer and
// the "floating point `{}`" descriptions of codec errors: plain decimal when
// the decimal exponent lies in -5..15 (a whole number keeps ".0"), otherwise
// scientific with an explicit exponent sign ("1e+16", "1.5e-7"). Both forms
// read back as a float, never as an integer.

#include <cstddef>

namespace revizer::json {

inline constexpr std::size_t kFloatTextMax = 32;

// Writes the text into `out` (at least kFloatTextMax bytes); returns its length.
std::size_t format_float(double value, char* out) noexcept;

}  // namespace revizer::json
