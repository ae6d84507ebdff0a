#include "text/properties.h"

#include <gtest/gtest.h>

#include <iostream>

#include "tests/cpp/text/ucd_files.h"
#include "text/code_points.h"

namespace revizer::unicode {
namespace {

using testing::hex;
using testing::kCodePointCount;

// CPython's unicodedata may follow a newer Unicode version than ICU. Code
// points that ICU does not assign yet (category Cn) may differ, and so may
// the code points that a later version moved to another category; any other
// difference is a fault.
bool recategorised_since(std::string_view ours, std::string_view theirs, char32_t cp) {
  // Unicode 16.0 made U+1171E AHOM CONSONANT SIGN MEDIAL RA a spacing mark.
  return ours == "15.0" && theirs.starts_with("16.") && cp == 0x1171E;
}

TEST(UnicodeProperties, GeneralCategoryAgreesWithCpythonOnEveryAssignedCodePoint) {
  const testing::CpythonUcd cpython = testing::read_cpython_ucd(REVIZER_CPYTHON_UCD);
  ASSERT_EQ(cpython.code_points.size(), kCodePointCount) << "cannot read " << REVIZER_CPYTHON_UCD;
  int newer_in_cpython = 0;
  int recategorised = 0;
  int mismatches = 0;
  for (char32_t cp = 0; cp < kCodePointCount; ++cp) {
    const std::string_view ours = category_alias(general_category(cp));
    if (ours == cpython.code_points[cp].category) continue;
    if (ours == "Cn") {
      ++newer_in_cpython;
      continue;
    }
    if (recategorised_since(unicode_version(), cpython.version, cp)) {
      ++recategorised;
      continue;
    }
    if (++mismatches <= 20) ADD_FAILURE() << "U+" << hex(cp) << ": " << ours << " vs " << cpython.code_points[cp].category;
  }
  EXPECT_EQ(mismatches, 0);
  std::cout << "Unicode " << unicode_version() << " (ICU) vs " << cpython.version << " (CPython): " << newer_in_cpython
            << " code points assigned only in CPython's version and " << recategorised
            << " recategorised since skipped\n";
}

TEST(UnicodeProperties, WhiteSpaceAndGraphemeExtendAgreeWithTheUcdFilesOnEveryCodePoint) {
  const std::string dir = REVIZER_UCD_DIR;
  const std::vector<bool> white_space = testing::read_ucd_property(dir + "/PropList.txt", "White_Space");
  const std::vector<bool> grapheme_extend =
      testing::read_ucd_property(dir + "/DerivedCoreProperties.txt", "Grapheme_Extend");
  // Guard against a missing file reading as "no member anywhere".
  ASSERT_TRUE(white_space[0x3000]) << "cannot read " << dir << "/PropList.txt (Debian package unicode-data)";
  ASSERT_TRUE(grapheme_extend[0x301]) << "cannot read " << dir << "/DerivedCoreProperties.txt";
  int mismatches = 0;
  for (char32_t cp = 0; cp < kCodePointCount; ++cp) {
    if (is_white_space(cp) != white_space[cp] && ++mismatches <= 20) ADD_FAILURE() << "White_Space U+" << hex(cp);
    if (is_grapheme_extend(cp) != grapheme_extend[cp] && ++mismatches <= 20)
      ADD_FAILURE() << "Grapheme_Extend U+" << hex(cp);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(UnicodeProperties, CategoriesUsedForEscaping) {
  struct Case {
    char32_t cp;
    std::string_view category;
  };
  for (const Case& c : {Case{0x41, "Lu"}, Case{0x20, "Zs"}, Case{0xA0, "Zs"}, Case{0x200B, "Cf"}, Case{0x2028, "Zl"},
                        Case{0x2029, "Zp"}, Case{0xD800, "Cs"}, Case{0xE000, "Co"}, Case{0x10FFFF, "Cn"},
                        Case{0x1, "Cc"}, Case{0x301, "Mn"}}) {
    EXPECT_EQ(category_alias(general_category(c.cp)), c.category) << hex(c.cp);
  }
}

TEST(CodePoints, IllFormedUtf8YieldsReplacementAndAlwaysAdvances) {
  struct Case {
    std::string_view text;
    char32_t first;
    std::size_t advance;
  };
  for (const Case& c : {Case{"\xC3\xA9", 0xE9, 2}, Case{"\xF0\x9F\x98\x80", 0x1F600, 4}, Case{"\xC3", kReplacementCharacter, 1},
                        Case{"\x80z", kReplacementCharacter, 1}, Case{"\xED\xA0\x80", kReplacementCharacter, 1},
                        Case{"\xF0\x9F\x98", kReplacementCharacter, 3}}) {
    std::size_t offset = 0;
    EXPECT_EQ(next_code_point(c.text, offset), c.first);
    EXPECT_EQ(offset, c.advance);
  }
}

}  // namespace
}  // namespace revizer::unicode
