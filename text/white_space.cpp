#include "text/white_space.h"

#include <cstddef>

#include "text/properties.h"
#include "text/utf8_bytes.h"

namespace revizer::unicode {

std::string_view trim_white_space_start(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size()) {
    const Decoded d = decode_utf8_at(text, i);
    if (d.length == 0 || !is_white_space(d.code_point)) break;
    i += d.length;
  }
  return text.substr(i);
}

std::string_view trim_white_space_end(std::string_view text) noexcept {
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

std::string_view trim_white_space(std::string_view text) noexcept {
  return trim_white_space_end(trim_white_space_start(text));
}

bool contains_white_space(std::string_view text) noexcept {
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

bool is_blank(std::string_view text) noexcept { return trim_white_space_start(text).empty(); }

}  // namespace revizer::unicode
