#pragma once

// Reading protobuf wire data from an untrusted buffer, the part shared by
// every message of the answer. One cursor runs forward over the whole
// buffer; a nested message's fields are read while the cursor lies before
// the message's end, and each field may read on to the end of the buffer
// (a field that crosses the end of its message is caught once the message
// ends, as "delimited length exceeded"). So every byte is looked at once.
//
// Every step returns false on failure and leaves the description in the
// decoder; each message level the failure passes through adds its entry on
// the way out (`fail_in`). Recursion is bounded by a budget of nested
// messages (and of groups skipped), 100 at the top, as protobuf decoders
// have it.

#include <cstdint>
#include <string>
#include <string_view>

#include "schema/wire/decode_error.h"
#include "schema/wire/varint.h"

namespace revizer::wire {

inline constexpr int kRecursionLimit = 100;

class ProtoDecoder {
 public:
  explicit ProtoDecoder(std::string_view bytes)
      : p_(reinterpret_cast<const unsigned char*>(bytes.data())), end_(p_ + bytes.size()) {}

  const unsigned char* buffer_end() const { return end_; }

  bool read_varint(std::uint64_t& value) {
    if (p_ != end_ && *p_ < 0x80) {
      value = *p_++;
      return true;
    }
    return read_varint_slow(value);
  }
  // A field key: field number 1 or more, wire type 0 to 5.
  bool read_key(std::uint32_t& field, WireType& type);
  // A known field must come with its own wire type.
  bool expect(WireType actual, WireType expected) { return actual == expected || wrong_wire_type(actual, expected); }
  bool read_fixed64(WireType type, std::uint64_t& value);
  // A string field: length-delimited, within the buffer, valid UTF-8. The
  // text replaces what `out` held.
  bool read_string(WireType type, std::string& out);

  // Opens a nested message met as a field of a message whose fields are read
  // with `budget`: its fields are then read with `budget - 1` until `end`.
  bool open_message(WireType type, int budget, const unsigned char*& end);
  // Closes it: the last field must have ended exactly at its end.
  bool close_message(const unsigned char* end);

  // Skips a field that the message does not define, by its wire type.
  bool skip_field(WireType type, std::uint32_t field, int budget);

  // Reads keys until `end` and hands each field to
  // `on_field(field, wire type)`, which reads or skips it.
  template <class OnField>
  bool fields(const unsigned char* end, OnField&& on_field) {
    while (p_ < end) {
      std::uint32_t field = 0;
      WireType type{};
      if (!read_key(field, type) || !on_field(field, type)) return false;
    }
    return true;
  }
  // A nested message met as a field read with `budget`: opens it, hands
  // each of its fields to `on_field(field, wire type, budget - 1)`, closes
  // it.
  template <class OnField>
  bool message(WireType type, int budget, OnField&& on_field) {
    const unsigned char* end = nullptr;
    return open_message(type, budget, end) &&
           fields(end, [&](std::uint32_t field, WireType inner) { return on_field(field, inner, budget - 1); }) &&
           close_message(end);
  }

  // Records the failure (cold); returns false.
  bool fail(std::string description);
  // Adds the entry of the message level a failure passed through.
  bool fail_in(const char* message, const char* field);
  DecodeError take_error() { return std::move(error_); }

 private:
  bool read_varint_slow(std::uint64_t& value);
  bool read_length(std::uint64_t& length);
  bool wrong_wire_type(WireType actual, WireType expected);

  const unsigned char* p_;
  const unsigned char* end_;
  DecodeError error_;
};

}  // namespace revizer::wire
