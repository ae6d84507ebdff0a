#pragma once

// Hand-made protobuf bytes for tests: keys, varints and length-delimited
// fields put together freely, malformed ones included.

#include <cstdint>
#include <string>
#include <string_view>

namespace revizer::wire::testing {

inline std::string varint(std::uint64_t v) {
  std::string out;
  while (v >= 0x80) {
    out += static_cast<char>(v | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
  return out;
}

inline std::string key(std::uint64_t field, int wire_type) { return varint((field << 3) | static_cast<unsigned>(wire_type)); }

// A length-delimited field: key, length, body.
inline std::string len(std::uint64_t field, std::string_view body) {
  // Appended piece by piece: GCC 12 sees a false overlap in a chain of +.
  std::string out = key(field, 2);
  out += varint(body.size());
  out.append(body);
  return out;
}

inline std::string varint_field(std::uint64_t field, std::uint64_t v) { return key(field, 0) + varint(v); }

inline std::string fixed64_field(std::uint64_t field, std::uint64_t bits) {
  std::string out = key(field, 1);
  for (int i = 0; i < 8; ++i) out += static_cast<char>(bits >> (8 * i));
  return out;
}

// google.protobuf.Value and Struct pieces.
inline std::string null_value() { return varint_field(1, 0); }
inline std::string string_value(std::string_view s) { return len(3, s); }
inline std::string struct_value(std::string_view struct_body) { return len(5, struct_body); }
inline std::string list_value(std::string_view list_body) { return len(6, list_body); }
inline std::string entry(std::string_view k, std::string_view value_body) {
  std::string body = len(1, k);
  body += len(2, value_body);
  return len(1, body);
}

// An answer of one event with this body.
inline std::string answer_with_event(std::string_view event_body) { return len(1, event_body); }

}  // namespace revizer::wire::testing
