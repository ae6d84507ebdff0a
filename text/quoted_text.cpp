#include "text/quoted_text.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "text/code_points.h"
#include "text/properties.h"

namespace revizer::unicode {
namespace {

bool needs_code_point_escape(char32_t cp) {
  if (cp == U' ') return false;
  if (is_grapheme_extend(cp)) return true;
  switch (general_category(cp)) {
    case GeneralCategory::Cc:
    case GeneralCategory::Cf:
    case GeneralCategory::Cs:
    case GeneralCategory::Co:
    case GeneralCategory::Cn:
    case GeneralCategory::Zl:
    case GeneralCategory::Zp:
    case GeneralCategory::Zs:
      return true;
    default:
      return false;
  }
}

void append_code_point_escape(std::string& out, char32_t cp) {
  std::array<char, 8> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<std::uint32_t>(cp), 16);
  out += "\\u{";
  out.append(digits.data(), result.ptr);
  out += '}';
}

bool is_plain_ascii(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  std::size_t offset = 0;
  while (offset < text.size()) {
    // Runs of printable ASCII need no look-up.
    std::size_t run = offset;
    while (run < text.size() && is_plain_ascii(static_cast<unsigned char>(text[run]))) ++run;
    out.append(text.substr(offset, run - offset));
    offset = run;
    if (offset >= text.size()) break;

    const std::size_t start = offset;
    const char32_t cp = next_code_point(text, offset);
    switch (cp) {
      case U'"': out += "\\\""; continue;
      case U'\\': out += "\\\\"; continue;
      case U'\0': out += "\\0"; continue;
      case U'\t': out += "\\t"; continue;
      case U'\n': out += "\\n"; continue;
      case U'\r': out += "\\r"; continue;
      default: break;
    }
    if (needs_code_point_escape(cp)) {
      append_code_point_escape(out, cp);
    } else if (cp == kReplacementCharacter) {
      append_utf8(out, cp);  // ill-formed input shows as U+FFFD
    } else {
      out.append(text.substr(start, offset - start));
    }
  }
  out += '"';
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  append_quoted(out, text);
  return out;
}

}  // namespace revizer::unicode
