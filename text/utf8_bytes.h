#pragma once

// UTF-8 of unknown quality (file contents, environment bytes, network
// replies): validity, decoding one code point, and the lossy decoding that
// replaces bad sequences with U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace revizer::unicode {

// One step of decoding: the code point and the bytes it took. `length` is 0
// for an invalid sequence; `invalid_length` then says how many bytes form the
// maximal ill-formed subpart (at least 1), the unit that gets one U+FFFD.
struct Decoded {
  char32_t code_point = 0;
  std::size_t length = 0;
  std::size_t invalid_length = 0;
};

Decoded decode_utf8_at(std::string_view text, std::size_t index);

bool is_valid_utf8(std::string_view text);

// Every maximal ill-formed subpart becomes U+FFFD; valid text is copied.
std::string decode_utf8_lossy(std::string_view text);

}  // namespace revizer::unicode
