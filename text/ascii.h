#pragma once

// ASCII-only text operations: the one place that lower-cases ASCII letters
// (scheme names, host names, enumeration texts, configuration words).
// Anything outside A-Z is left as it is; the full Unicode mapping is
// lower_case.h.

#include <cstddef>
#include <string>
#include <string_view>

namespace revizer::unicode {

inline bool is_ascii(std::string_view text) noexcept {
  unsigned char seen = 0;
  for (const char c : text) seen |= static_cast<unsigned char>(c);
  return seen < 0x80;
}

constexpr char ascii_lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline void ascii_lower_in_place(std::string& text) noexcept {
  for (char& c : text) c = ascii_lower(c);
}

inline std::string ascii_lower(std::string_view text) {
  std::string out(text);
  ascii_lower_in_place(out);
  return out;
}

constexpr bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

}  // namespace revizer::unicode
