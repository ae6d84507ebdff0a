#pragma once

// Per-code-point Unicode properties, in the Unicode version of the linked ICU.

#include <cstdint>
#include <string_view>

namespace revizer::unicode {

// The 30 general categories of the Unicode Character Database.
enum class GeneralCategory : std::uint8_t {
  Lu, Ll, Lt, Lm, Lo,
  Mn, Mc, Me,
  Nd, Nl, No,
  Pc, Pd, Ps, Pe, Pi, Pf, Po,
  Sm, Sc, Sk, So,
  Zs, Zl, Zp,
  Cc, Cf, Cs, Co, Cn,
};

GeneralCategory general_category(char32_t cp) noexcept;

// The two-letter alias, as in UnicodeData.txt ("Lu", "Cn", ...).
std::string_view category_alias(GeneralCategory category) noexcept;

bool is_white_space(char32_t cp) noexcept;
bool is_grapheme_extend(char32_t cp) noexcept;

// The Unicode version the properties above come from, e.g. "15.0".
std::string_view unicode_version() noexcept;

}  // namespace revizer::unicode
