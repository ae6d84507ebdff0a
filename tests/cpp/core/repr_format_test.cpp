#include "core/repr_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace revizer::repr {
namespace {

struct QuoteCase {
  std::string_view text;
  std::string_view quoted;
};

class Quoting : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(Quoting, EscapesExactlyTheListedCharacters) { EXPECT_EQ(quoted(GetParam().text), GetParam().quoted); }

INSTANTIATE_TEST_SUITE_P(
    Texts, Quoting,
    ::testing::Values(
        QuoteCase{"", R"("")"}, QuoteCase{"plain text's", R"("plain text's")"},
        QuoteCase{"a\"b\\c", R"("a\"b\\c")"}, QuoteCase{std::string_view("\0\t\n\r", 4), R"("\0\t\n\r")"},
        QuoteCase{"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
        QuoteCase{"\xC2\xA0", R"("\u{a0}")"},                 // no-break space, Zs
        QuoteCase{"e\xCC\x81", R"("e\u{301}")"},              // combining acute, Grapheme_Extend
        QuoteCase{"\xE2\x80\x8B", R"("\u{200b}")"},           // zero-width space, Cf
        QuoteCase{"\xE2\x80\xA8\xE2\x80\xA9", R"("\u{2028}\u{2029}")"},  // Zl, Zp
        QuoteCase{"\xEE\x80\x80", R"("\u{e000}")"},           // private use, Co
        QuoteCase{"\xF4\x8F\xBF\xBF", R"("\u{10ffff}")"},     // unassigned, Cn
        QuoteCase{"\xE2\x80\x8D", R"("\u{200d}")"},           // ZWJ, Cf
        QuoteCase{"\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD", "\"\xC3\xA9\xF0\x9F\x98\x80\xE4\xB8\xAD\""},  // é 😀 中
        QuoteCase{"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", "\"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD\""},  // skin tone: not Grapheme_Extend
        QuoteCase{"a\xC3", "\"a\xEF\xBF\xBD\""}));  // ill-formed byte shown as U+FFFD

TEST(ReprValues, OptionalTextBooleanIntegerAndList) {
  std::string out;
  append_optional_text(out, std::nullopt);
  out += ' ';
  append_optional_text(out, std::string("x\"y"));
  out += ' ';
  append_bool(out, true);
  out += ' ';
  append_bool(out, false);
  out += ' ';
  append_integer(out, -42);
  out += ' ';
  append_count(out, 7);
  out += ' ';
  append_text_list(out, std::vector<std::string>{});
  out += ' ';
  append_text_list(out, std::vector<std::string>{"a", "b\n"});
  EXPECT_EQ(out, R"(None Some("x\"y") true false -42 7 [] ["a", "b\n"])");
}

TEST(ReprValues, FloatsWithTwoDecimals) {
  struct Case {
    double value;
    std::string_view text;
  };
  for (const Case& c : {Case{0.0, "0.00"}, Case{1.0, "1.00"}, Case{0.5, "0.50"}, Case{2.345678, "2.35"},
                        Case{-1.005, "-1.00"}, Case{1e20, "100000000000000000000.00"},
                        Case{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                        Case{std::numeric_limits<double>::infinity(), "inf"},
                        Case{-std::numeric_limits<double>::infinity(), "-inf"}}) {
    std::string out;
    append_float(out, c.value);
    EXPECT_EQ(out, c.text) << c.value;
  }
  std::string largest;
  append_float(largest, std::numeric_limits<double>::max());
  EXPECT_EQ(largest.size(), 309u + 3u);
}

}  // namespace
}  // namespace revizer::repr
