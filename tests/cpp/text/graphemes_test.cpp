#include "text/graphemes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/cpp/text/ucd_files.h"

namespace revizer::unicode {
namespace {

// All break positions inside the text, found through the prefix lengths.
std::vector<std::size_t> boundaries(std::string_view text) {
  std::vector<std::size_t> found;
  for (std::size_t n = 1;; ++n) {
    const std::optional<std::size_t> end = grapheme_prefix_length(text, n);
    if (!end) return found;
    found.push_back(*end);
  }
}

// The Unicode conformance test: "÷" marks a break, "×" none, between the
// hexadecimal code points of each line.
TEST(Graphemes, PassesTheUnicodeConformanceTest) {
  const std::string path = std::string(REVIZER_UCD_DIR) + "/auxiliary/GraphemeBreakTest.txt";
  std::ifstream in(path);
  ASSERT_TRUE(in) << "cannot read " << path << " (Debian package unicode-data)";
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream tokens(line);
    std::string token;
    std::u32string code_points;
    std::string text;
    std::vector<std::size_t> expected;
    while (tokens >> token) {
      if (token == "\xC3\xB7") {  // ÷
        if (!text.empty()) expected.push_back(text.size());
      } else if (token != "\xC3\x97") {  // not ×: a code point
        text += testing::utf8(std::u32string(1, static_cast<char32_t>(std::stoul(token, nullptr, 16))));
      }
    }
    if (text.empty()) continue;
    expected.pop_back();  // the break at the very end is not inside the text
    EXPECT_EQ(boundaries(text), expected) << line;
    ++cases;
  }
  EXPECT_GT(cases, 500);
}

TEST(Graphemes, TruncatesAfterWholeClusters) {
  const std::string e_acute = "e\xCC\x81";                          // e + U+0301
  const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";      // regional indicators F R
  const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9";  // man ZWJ woman
  struct Case {
    std::string text;
    std::size_t count;
    std::string expected;
  };
  for (const Case& c : {
           Case{std::string(50, 'a'), 50, std::string(50, 'a')},
           Case{std::string(51, 'a'), 50, std::string(50, 'a') + "..."},
           Case{std::string(49, 'a') + flag + "b", 50, std::string(49, 'a') + flag + "..."},
           Case{std::string(49, 'a') + e_acute + "b", 50, std::string(49, 'a') + e_acute + "..."},
           Case{std::string(49, 'a') + e_acute, 50, std::string(49, 'a') + e_acute},
           Case{family + family, 1, family + "..."},
           Case{"\r\nx", 1, "\r\n..."},
           Case{"", 0, ""},
           Case{"ab", 0, "..."},
       }) {
    EXPECT_EQ(truncate_graphemes(c.text, c.count), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace revizer::unicode
