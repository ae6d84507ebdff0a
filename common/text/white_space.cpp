#include "common/text/white_space.h"

#include <cstddef>

#include "common/text/utf8.h"

namespace revizer::text {

bool is_white_space(char32_t cp) {
  switch (cp) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

std::string_view trim_white_space_start(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const Decoded d = decode_utf8_at(text, i);
    if (d.length == 0 || !is_white_space(d.code_point)) break;
    i += d.length;
  }
  return text.substr(i);
}

std::string_view trim_white_space_end(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0) {
    // Step back to the lead byte of the last code point.
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 4) --start;
    const Decoded d = decode_utf8_at(text, start);
    if (d.length != end - start || !is_white_space(d.code_point)) break;
    end = start;
  }
  return text.substr(0, end);
}

std::string_view trim_white_space(std::string_view text) {
  return trim_white_space_end(trim_white_space_start(text));
}

bool contains_white_space(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = decode_utf8_at(text, i);
    if (d.length == 0) {
      i += d.invalid_length;
      continue;
    }
    if (is_white_space(d.code_point)) return true;
    i += d.length;
  }
  return false;
}

}  // namespace revizer::text
