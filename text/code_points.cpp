#include "text/code_points.h"

#include <unicode/utf8.h>

#include <array>
#include <cstdint>
#include <string>

namespace revizer::unicode {

char32_t next_code_point(std::string_view text, std::size_t& offset) noexcept {
  // A code point takes at most four bytes: decoding a window of four keeps
  // ICU's 32-bit lengths away from texts of any size.
  const std::string_view window = text.substr(offset, U8_MAX_LENGTH);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(window.data());
  const auto length = static_cast<std::int32_t>(window.size());
  std::int32_t i = 0;
  UChar32 cp = 0;
  U8_NEXT(bytes, i, length, cp);
  offset += static_cast<std::size_t>(i);
  return cp < 0 ? kReplacementCharacter : static_cast<char32_t>(cp);
}

void append_utf8(std::string& out, char32_t cp) {
  std::array<std::uint8_t, U8_MAX_LENGTH> buffer{};
  std::int32_t length = 0;
  UBool error = false;
  U8_APPEND(buffer.data(), length, U8_MAX_LENGTH, static_cast<UChar32>(cp), error);
  if (error) {
    length = 0;
    U8_APPEND_UNSAFE(buffer.data(), length, kReplacementCharacter);
  }
  out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(length));
}

}  // namespace revizer::unicode
