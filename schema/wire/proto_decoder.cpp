#include "schema/wire/proto_decoder.h"

#include <cstring>
#include <limits>

#include "text/utf8_bytes.h"

namespace revizer::wire {
namespace {

const char* wire_type_name(WireType type) {
  switch (type) {
    case WireType::Varint: return "Varint";
    case WireType::SixtyFourBit: return "SixtyFourBit";
    case WireType::LengthDelimited: return "LengthDelimited";
    case WireType::StartGroup: return "StartGroup";
    case WireType::EndGroup: return "EndGroup";
    case WireType::ThirtyTwoBit: return "ThirtyTwoBit";
  }
  return "?";
}

}  // namespace

bool ProtoDecoder::fail(std::string description) {
  error_.description = std::move(description);
  return false;
}

bool ProtoDecoder::fail_in(const char* message, const char* field) {
  error_.path.push_back({message, field});
  return false;
}

bool ProtoDecoder::read_varint_slow(std::uint64_t& value) {
  // At most ten bytes; the tenth may only carry the 64th bit.
  std::uint64_t result = 0;
  for (int i = 0; i < 10; ++i) {
    if (p_ == end_) return fail("invalid varint");
    const unsigned char byte = *p_++;
    if (i == 9 && byte > 1) return fail("invalid varint");
    result |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
    if (byte < 0x80) {
      value = result;
      return true;
    }
  }
  return fail("invalid varint");
}

bool ProtoDecoder::read_key(std::uint32_t& field, WireType& type) {
  std::uint64_t key = 0;
  if (!read_varint(key)) return false;
  if (key > std::numeric_limits<std::uint32_t>::max()) return fail("invalid key value: " + std::to_string(key));
  const std::uint64_t wire_type = key & 7;
  if (wire_type > 5) return fail("invalid wire type value: " + std::to_string(wire_type));
  field = static_cast<std::uint32_t>(key >> 3);
  if (field == 0) return fail("invalid tag value: 0");
  type = static_cast<WireType>(wire_type);
  return true;
}

bool ProtoDecoder::wrong_wire_type(WireType actual, WireType expected) {
  std::string text = "invalid wire type: ";
  text += wire_type_name(actual);
  text += " (expected ";
  text += wire_type_name(expected);
  text += ')';
  return fail(std::move(text));
}

bool ProtoDecoder::read_length(std::uint64_t& length) {
  if (!read_varint(length)) return false;
  if (length > static_cast<std::uint64_t>(end_ - p_)) return fail("buffer underflow");
  return true;
}

bool ProtoDecoder::read_fixed64(WireType type, std::uint64_t& value) {
  if (!expect(type, WireType::SixtyFourBit)) return false;
  if (end_ - p_ < 8) return fail("buffer underflow");
  value = 0;
  for (int i = 0; i < 8; ++i) value |= static_cast<std::uint64_t>(p_[i]) << (8 * i);  // little-endian
  p_ += 8;
  return true;
}

bool ProtoDecoder::read_string(WireType type, std::string& out) {
  std::uint64_t length = 0;
  if (!expect(type, WireType::LengthDelimited) || !read_length(length)) return false;
  const std::string_view text(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(length));
  p_ += length;
  if (!unicode::is_valid_utf8(text)) return fail("invalid string value: data is not UTF-8 encoded");
  out.assign(text);
  return true;
}

bool ProtoDecoder::open_message(WireType type, int budget, const unsigned char*& end) {
  if (!expect(type, WireType::LengthDelimited)) return false;
  if (budget <= 0) return fail("recursion limit reached");
  std::uint64_t length = 0;
  if (!read_length(length)) return false;
  end = p_ + length;
  return true;
}

bool ProtoDecoder::close_message(const unsigned char* end) {
  return p_ == end || fail("delimited length exceeded");
}

bool ProtoDecoder::skip_field(WireType type, std::uint32_t field, int budget) {
  if (budget <= 0) return fail("recursion limit reached");
  std::uint64_t length = 0;
  switch (type) {
    case WireType::Varint:
      return read_varint(length);
    case WireType::SixtyFourBit:
      length = 8;
      break;
    case WireType::ThirtyTwoBit:
      length = 4;
      break;
    case WireType::LengthDelimited:
      if (!read_varint(length)) return false;
      break;
    case WireType::StartGroup:
      // A group runs to the end-group key of its own field number; groups
      // inside it cost recursion budget like nested messages.
      for (;;) {
        std::uint32_t inner_field = 0;
        WireType inner_type{};
        if (!read_key(inner_field, inner_type)) return false;
        if (inner_type == WireType::EndGroup) {
          if (inner_field != field) return fail("unexpected end group tag");
          return true;
        }
        if (!skip_field(inner_type, inner_field, budget - 1)) return false;
      }
    case WireType::EndGroup:
      return fail("unexpected end group tag");
  }
  if (length > static_cast<std::uint64_t>(end_ - p_)) return fail("buffer underflow");
  p_ += length;
  return true;
}

}  // namespace revizer::wire
