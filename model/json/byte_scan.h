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

// The first byte in [p, end) that `marks` finds, or `end`. When fewer than
// eight bytes remain and at least eight were scanned here, they are read as
// the last word of [p, end), which overlaps bytes this scan found unmarked:
// those set no false mark, and their own marks are shifted out. (Bytes
// before `p` may be marked, so the word never reaches back past it.)
template <class Marks>
inline const char* find_marked(const char* p, const char* end, Marks marks) {
  const char* const start = p;
  p = skip_words(p, end, marks);
  const auto rest = end - p;
  if (rest >= 8 || rest == 0) return p;  // a marked byte, or the end
  if (end - start >= 8) {
    std::uint64_t w;
    std::memcpy(&w, end - 8, 8);
    const std::uint64_t m = marks(w) >> ((8 - rest) * 8);
    return m == 0 ? end : p + __builtin_ctzll(m) / 8;
  }
  for (; p != end; ++p) {
    // One byte in the lowest place of a word: its mark is exact.
    if (marks(std::uint64_t{static_cast<unsigned char>(*p)}) & 0x80) return p;
  }
  return end;
}

}  // namespace revizer::json
