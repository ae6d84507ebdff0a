#include "python/src/convert/repr_format.h"

#include <array>
#include <charconv>
#include <cmath>

#include "unicode/code_points.h"
#include "unicode/properties.h"

namespace revizer::python::repr {
namespace {

using unicode::GeneralCategory;

bool needs_code_point_escape(char32_t cp) {
  if (cp == U' ') return false;
  if (unicode::is_grapheme_extend(cp)) return true;
  switch (unicode::general_category(cp)) {
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
    const char32_t cp = unicode::next_code_point(text, offset);
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
    } else if (cp == unicode::kReplacementCharacter) {
      unicode::append_utf8(out, cp);  // ill-formed input shows as U+FFFD
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

void append_optional_text(std::string& out, const std::optional<std::string>& text) {
  if (!text) {
    out += "None";
    return;
  }
  out += "Some(";
  append_quoted(out, *text);
  out += ')';
}

void append_bool(std::string& out, bool value) { out += value ? "true" : "false"; }

void append_float(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  // The largest finite double has 309 integer digits.
  std::array<char, 330> digits{};
  const auto result =
      std::to_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed, 2);
  out.append(digits.data(), result.ptr);
}

void append_integer(std::string& out, long long value) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  out.append(digits.data(), result.ptr);
}

void append_count(std::string& out, std::size_t count) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), count);
  out.append(digits.data(), result.ptr);
}

void append_text_list(std::string& out, std::span<const std::string> texts) {
  out += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += ", ";
    append_quoted(out, texts[i]);
  }
  out += ']';
}

}  // namespace revizer::python::repr
