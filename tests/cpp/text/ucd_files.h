#pragma once

// Readers for the reference data the Unicode tests compare against.

#include <string>
#include <vector>

namespace revizer::unicode::testing {

inline constexpr char32_t kCodePointCount = 0x110000;

struct CpythonCodePoint {
  std::string category;
  std::u32string lower;  // the code point itself when unchanged
};

struct CpythonUcd {
  std::string version;
  std::vector<CpythonCodePoint> code_points;  // indexed by code point
};

// The dump written by dump_unicodedata.py; empty on a read failure.
CpythonUcd read_cpython_ucd(const std::string& path);

// The code points listed for `property` in a UCD property file such as
// PropList.txt ("0009..000D ; White_Space # ..."), as a membership table.
std::vector<bool> read_ucd_property(const std::string& path, const std::string& property);

std::string utf8(std::u32string_view code_points);

// "1f600" for U+1F600, for failure messages.
std::string hex(char32_t cp);

}  // namespace revizer::unicode::testing
