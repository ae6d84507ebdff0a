#include "platform/io_error.h"

#include <cstdio>
#include <cstring>

#include "text/utf8_bytes.h"

namespace revizer::platform {

IoError IoError::from_errno(int code) {
  char buffer[256];
  // The GNU variant returns the message, which may or may not be `buffer`.
  const char* message = ::strerror_r(code, buffer, sizeof buffer);
  return {code, std::string(message) + " (os error " + std::to_string(code) + ")"};
}

IoError IoError::custom(std::string text) { return {0, std::move(text)}; }

IoError IoError::at_path(std::string_view path) const {
  return {os_code, text + " at path " + quote_debug(path)};
}

std::string quote_debug(std::string_view text) {
  std::string out = "\"";
  char hex[16];
  for (std::size_t i = 0; i < text.size();) {
    const unicode::Decoded d = unicode::decode_utf8_at(text, i);
    if (d.length == 0) {
      for (std::size_t k = 0; k < d.invalid_length; ++k) {
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[i + k]));
        out += hex;
      }
      i += d.invalid_length;
      continue;
    }
    const char32_t cp = d.code_point;
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0: out += "\\0"; break;
      default:
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
          std::snprintf(hex, sizeof hex, "\\u{%x}", static_cast<unsigned>(cp));
          out += hex;
        } else {
          out.append(text.substr(i, d.length));
        }
    }
    i += d.length;
  }
  out += '"';
  return out;
}

}  // namespace revizer::platform
