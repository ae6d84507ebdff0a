#include "text/properties.h"

#include <unicode/uchar.h>

#include <array>

namespace revizer::unicode {
namespace {

// ICU's UCharCategory values, in ICU's numbering, mapped to ours.
constexpr std::array<GeneralCategory, U_CHAR_CATEGORY_COUNT> kFromIcu = [] {
  std::array<GeneralCategory, U_CHAR_CATEGORY_COUNT> table{};
  table[U_UNASSIGNED] = GeneralCategory::Cn;
  table[U_UPPERCASE_LETTER] = GeneralCategory::Lu;
  table[U_LOWERCASE_LETTER] = GeneralCategory::Ll;
  table[U_TITLECASE_LETTER] = GeneralCategory::Lt;
  table[U_MODIFIER_LETTER] = GeneralCategory::Lm;
  table[U_OTHER_LETTER] = GeneralCategory::Lo;
  table[U_NON_SPACING_MARK] = GeneralCategory::Mn;
  table[U_ENCLOSING_MARK] = GeneralCategory::Me;
  table[U_COMBINING_SPACING_MARK] = GeneralCategory::Mc;
  table[U_DECIMAL_DIGIT_NUMBER] = GeneralCategory::Nd;
  table[U_LETTER_NUMBER] = GeneralCategory::Nl;
  table[U_OTHER_NUMBER] = GeneralCategory::No;
  table[U_SPACE_SEPARATOR] = GeneralCategory::Zs;
  table[U_LINE_SEPARATOR] = GeneralCategory::Zl;
  table[U_PARAGRAPH_SEPARATOR] = GeneralCategory::Zp;
  table[U_CONTROL_CHAR] = GeneralCategory::Cc;
  table[U_FORMAT_CHAR] = GeneralCategory::Cf;
  table[U_PRIVATE_USE_CHAR] = GeneralCategory::Co;
  table[U_SURROGATE] = GeneralCategory::Cs;
  table[U_DASH_PUNCTUATION] = GeneralCategory::Pd;
  table[U_START_PUNCTUATION] = GeneralCategory::Ps;
  table[U_END_PUNCTUATION] = GeneralCategory::Pe;
  table[U_CONNECTOR_PUNCTUATION] = GeneralCategory::Pc;
  table[U_OTHER_PUNCTUATION] = GeneralCategory::Po;
  table[U_MATH_SYMBOL] = GeneralCategory::Sm;
  table[U_CURRENCY_SYMBOL] = GeneralCategory::Sc;
  table[U_MODIFIER_SYMBOL] = GeneralCategory::Sk;
  table[U_OTHER_SYMBOL] = GeneralCategory::So;
  table[U_INITIAL_PUNCTUATION] = GeneralCategory::Pi;
  table[U_FINAL_PUNCTUATION] = GeneralCategory::Pf;
  return table;
}();

constexpr std::array<std::string_view, 30> kAliases{
    "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Mc", "Me", "Nd", "Nl", "No", "Pc", "Pd", "Ps", "Pe",
    "Pi", "Pf", "Po", "Sm", "Sc", "Sk", "So", "Zs", "Zl", "Zp", "Cc", "Cf", "Cs", "Co", "Cn",
};

}  // namespace

GeneralCategory general_category(char32_t cp) noexcept {
  const auto icu = static_cast<int>(u_charType(static_cast<UChar32>(cp)));
  if (icu < 0 || icu >= U_CHAR_CATEGORY_COUNT) return GeneralCategory::Cn;
  return kFromIcu[static_cast<std::size_t>(icu)];
}

std::string_view category_alias(GeneralCategory category) noexcept {
  return kAliases[static_cast<std::size_t>(category)];
}

bool is_white_space(char32_t cp) noexcept {
  // ASCII, the common case, without the library: tab to carriage return and space.
  if (cp < 0x80) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
  return u_isUWhiteSpace(static_cast<UChar32>(cp)) != 0;
}

bool is_grapheme_extend(char32_t cp) noexcept {
  return u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_GRAPHEME_EXTEND) != 0;
}

std::string_view unicode_version() noexcept { return U_UNICODE_VERSION; }

}  // namespace revizer::unicode
