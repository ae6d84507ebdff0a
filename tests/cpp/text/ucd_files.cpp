#include "tests/cpp/text/ucd_files.h"

#include <cstdint>
#include <fstream>
#include <sstream>

#include "text/code_points.h"

namespace revizer::unicode::testing {

CpythonUcd read_cpython_ucd(const std::string& path) {
  CpythonUcd ucd;
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line) || line.rfind("version ", 0) != 0) return ucd;
  ucd.version = line.substr(8);
  ucd.code_points.reserve(kCodePointCount);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string hex;
    CpythonCodePoint entry;
    fields >> hex >> entry.category;
    const auto cp = static_cast<char32_t>(std::stoul(hex, nullptr, 16));
    while (fields >> hex) entry.lower.push_back(static_cast<char32_t>(std::stoul(hex, nullptr, 16)));
    if (entry.lower.empty()) entry.lower.push_back(cp);
    ucd.code_points.push_back(std::move(entry));
  }
  return ucd;
}

std::vector<bool> read_ucd_property(const std::string& path, const std::string& property) {
  std::vector<bool> members(kCodePointCount, false);
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    const auto semicolon = line.find(';');
    if (semicolon == std::string::npos) continue;
    std::istringstream name_field(line.substr(semicolon + 1));
    std::string name;
    name_field >> name;
    if (name != property) continue;
    const std::string range = line.substr(0, semicolon);
    const auto dots = range.find("..");
    const auto first = std::stoul(range.substr(0, dots), nullptr, 16);
    const auto last = dots == std::string::npos ? first : std::stoul(range.substr(dots + 2), nullptr, 16);
    for (auto cp = first; cp <= last; ++cp) members[cp] = true;
  }
  return members;
}

std::string utf8(std::u32string_view code_points) {
  std::string out;
  for (char32_t cp : code_points) append_utf8(out, cp);
  return out;
}

std::string hex(char32_t cp) {
  std::ostringstream out;
  out << std::hex << static_cast<std::uint32_t>(cp);
  return out.str();
}

}  // namespace revizer::unicode::testing
