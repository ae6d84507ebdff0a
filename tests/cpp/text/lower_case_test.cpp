#include "text/lower_case.h"

#include <gtest/gtest.h>

#include <iostream>

#include "tests/cpp/text/ucd_files.h"
#include "text/properties.h"

namespace revizer::unicode {
namespace {

using testing::hex;
using testing::kCodePointCount;
using testing::utf8;

TEST(LowerCase, EveryCodePointAgreesWithCpythonStrLower) {
  const testing::CpythonUcd cpython = testing::read_cpython_ucd(REVIZER_CPYTHON_UCD);
  ASSERT_EQ(cpython.code_points.size(), kCodePointCount) << "cannot read " << REVIZER_CPYTHON_UCD;
  int newer_in_cpython = 0;
  int mismatches = 0;
  for (char32_t cp = 0; cp < kCodePointCount; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // not encodable as UTF-8
    const std::string ours = to_lower_full(utf8(std::u32string(1, cp)));
    const std::string theirs = utf8(cpython.code_points[cp].lower);
    if (ours == theirs) continue;
    if (general_category(cp) == GeneralCategory::Cn) {
      ++newer_in_cpython;
      continue;
    }
    if (++mismatches <= 20) ADD_FAILURE() << "U+" << hex(cp) << ": " << ours << " vs " << theirs;
  }
  EXPECT_EQ(mismatches, 0);
  std::cout << newer_in_cpython << " lower-case mappings of code points unassigned in Unicode " << unicode_version()
            << " skipped\n";
}

TEST(LowerCase, FullMappingAndContext) {
  struct Case {
    std::string_view text;
    std::string_view lower;
  };
  for (const Case& c : {
           Case{"ALLOW", "allow"},
           Case{"\xC4\xB0", "i\xCC\x87"},                   // U+0130 becomes i + U+0307
           Case{"\xE2\x84\xAA", "k"},                       // Kelvin sign
           Case{"\xCE\x91\xCE\xA3", "\xCE\xB1\xCF\x82"},    // final sigma
           Case{"\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1"},    // non-final sigma
           Case{"Tool-Misuse", "tool-misuse"},
           Case{"", ""},
           Case{"\xC3", "\xC3"},                            // ill-formed input survives
       }) {
    EXPECT_EQ(to_lower_full(c.text), c.lower) << c.text;
  }
}

TEST(LowerCase, GrowingTextsFitWhateverTheirLength) {
  // U+023A takes two bytes and lower-cases to U+2C65, three bytes.
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "\xC8\xBA";
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "\xE2\xB1\xA5";
  EXPECT_EQ(to_lower_full(text), expected);
}

}  // namespace
}  // namespace revizer::unicode
