#pragma once

// Eight-bytes-at-a-time scanning for the string loops of the reader and the
// writer (plain SWAR, no intrinsics, so any 64-bit little-endian target).

#include <cstdint>
#include <cstring>

namespace revizer::json {

inline constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// Marks (high bit of the byte) every ASCII byte that a JSON string cannot
// hold as is: a double quote, a backslash or a byte below 0x20. Only the
// lowest marked byte is exact; higher marks may be false after a true one.
inline std::uint64_t special_bytes(std::uint64_t w) {
  constexpr std::uint64_t ones = 0x0101010101010101ull;
  const std::uint64_t q = w ^ (ones * '"');
  const std::uint64_t b = w ^ (ones * '\\');
  return (((q - ones) & ~q) | ((b - ones) & ~b) | ((w - ones * 0x20) & ~w)) & ~w & kHighBits;
}

// Advances over whole words in which `marks` finds nothing and stops at the
// first marked byte, or where fewer than eight bytes remain.
template <class Marks>
inline const char* skip_words(const char* p, const char* end, Marks marks) {
  while (end - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    const std::uint64_t m = marks(w);
    if (m != 0) return p + __builtin_ctzll(m) / 8;
    p += 8;
  }
  return p;
}

}  // namespace revizer::json
