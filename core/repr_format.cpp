#include "core/repr_format.h"

#include <array>
#include <charconv>
#include <cmath>

namespace revizer::repr {

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

}  // namespace revizer::repr
