#include "unicode/white_space.h"

#include "unicode/code_points.h"
#include "unicode/properties.h"

namespace revizer::unicode {

std::string_view trim_white_space(std::string_view text) noexcept {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    if (!is_white_space(next_code_point(text, next))) break;
    begin = next;
  }
  // Trailing side: remember where the last non-space code point ended.
  std::size_t end = begin;
  std::size_t offset = begin;
  while (offset < text.size()) {
    if (!is_white_space(next_code_point(text, offset))) end = offset;
  }
  return text.substr(begin, end - begin);
}

bool is_blank(std::string_view text) noexcept { return trim_white_space(text).empty(); }

}  // namespace revizer::unicode
