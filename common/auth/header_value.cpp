#include "common/auth/header_value.h"

namespace revizer::common {

bool is_valid_header_value(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return false;
  }
  return true;
}

std::optional<HeaderValue> HeaderValue::checked(std::string text) {
  if (!is_valid_header_value(text)) return std::nullopt;
  return HeaderValue(std::make_shared<const std::string>(std::move(text)));
}

}  // namespace revizer::common
