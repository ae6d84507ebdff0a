#pragma once

// The protobuf base-128 varint and the field key, on the writing side: sizes
// first (the encoder lays out every length before it writes a byte), then
// writes into a buffer the caller sized.

#include <cstdint>
#include <cstring>

namespace revizer::wire {

enum class WireType : std::uint8_t {
  Varint = 0,
  SixtyFourBit = 1,
  LengthDelimited = 2,
  StartGroup = 3,
  EndGroup = 4,
  ThirtyTwoBit = 5,
};

// The single key byte of a field numbered below 16.
constexpr std::uint8_t key_byte(std::uint32_t field, WireType type) {
  return static_cast<std::uint8_t>((field << 3) | static_cast<std::uint8_t>(type));
}

constexpr std::uint64_t varint_size(std::uint64_t value) {
  // 7 payload bits per byte; 0 still takes one byte.
  const int bits = 64 - __builtin_clzll(value | 1);
  return static_cast<std::uint64_t>((bits + 6) / 7);
}

// A length-delimited field with a one-byte key: key, length, body.
constexpr std::uint64_t delimited_size(std::uint64_t body) { return 1 + varint_size(body) + body; }

inline char* write_varint(char* out, std::uint64_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>(value | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

inline char* write_byte(char* out, std::uint8_t byte) {
  *out = static_cast<char>(byte);
  return out + 1;
}

inline char* write_bytes(char* out, const char* data, std::size_t size) {
  if (size != 0) std::memcpy(out, data, size);
  return out + size;
}

// Key, length and the bytes of a string or bytes field.
inline char* write_delimited(char* out, std::uint8_t key, const char* data, std::size_t size) {
  out = write_byte(out, key);
  out = write_varint(out, size);
  return write_bytes(out, data, size);
}

inline char* write_fixed64(char* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(value >> (8 * i));  // little-endian
  return out + 8;
}

}  // namespace revizer::wire
