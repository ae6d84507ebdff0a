#include "text/white_space.h"

#include <gtest/gtest.h>

namespace revizer::unicode {
namespace {

TEST(WhiteSpace, TrimsUnicodeWhiteSpaceAtBothEndsOnly) {
  struct Case {
    std::string_view text;
    std::string_view trimmed;
  };
  for (const Case& c : {
           Case{"", ""},
           Case{"  a b  ", "a b"},
           Case{"\t\n\v\f\r x", "x"},
           Case{"\xC2\xA0" "x" "\xE3\x80\x80", "x"},  // U+00A0, U+3000
           Case{"\xC2\x85" "x" "\xE2\x80\xA8", "x"},  // U+0085, U+2028
           Case{"\xE2\x80\x8B" "x", "\xE2\x80\x8B" "x"},  // U+200B is not White_Space
           Case{"x\xE2\x80\x83y", "x\xE2\x80\x83y"},     // inner space stays
       }) {
    EXPECT_EQ(trim_white_space(c.text), c.trimmed) << c.text;
  }
}

TEST(WhiteSpace, BlankMeansOnlyWhiteSpace) {
  EXPECT_TRUE(is_blank(""));
  EXPECT_TRUE(is_blank(" \t\xE2\x80\x8A\xE2\x81\x9F"));  // U+200A, U+205F
  EXPECT_FALSE(is_blank(" \xE2\x80\x8B "));             // U+200B
  EXPECT_FALSE(is_blank(std::string_view("\0", 1)));
}

}  // namespace
}  // namespace revizer::unicode
