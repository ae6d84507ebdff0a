#include "text/utf8_bytes.h"

#include <cstdint>
#include <cstring>

namespace revizer::unicode {
namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

Decoded decode_utf8_at(std::string_view text, std::size_t index) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const std::size_t left = text.size() - index;
  const unsigned char lead = byte(index);
  if (lead < 0x80) return {lead, 1, 0};

  std::size_t need = 0;
  char32_t cp = 0;
  // Bounds of the second byte narrow overlong forms and surrogates away.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {0, 0, 1};
  }
  for (std::size_t k = 1; k <= need; ++k) {
    if (k >= left) return {0, 0, k};
    const unsigned char next = byte(index + k);
    const bool in_range = k == 1 ? (next >= low && next <= high) : is_continuation(next);
    if (!in_range) return {0, 0, k};
    cp = (cp << 6) | (next & 0x3F);
  }
  return {cp, need + 1, 0};
}

bool is_valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    // Runs of ASCII, the usual case, eight bytes at a time.
    while (text.size() - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if ((word & 0x8080808080808080ull) != 0) break;
      i += 8;
    }
    if (i == text.size()) break;
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const Decoded d = decode_utf8_at(text, i);
    if (d.length == 0) return false;
    i += d.length;
  }
  return true;
}

std::string decode_utf8_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = decode_utf8_at(text, i);
    if (d.length != 0) {
      out.append(text.substr(i, d.length));
      i += d.length;
    } else {
      out.append("\xEF\xBF\xBD");
      i += d.invalid_length;
    }
  }
  return out;
}

}  // namespace revizer::unicode
