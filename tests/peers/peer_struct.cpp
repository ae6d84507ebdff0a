#include "tests/peers/peer_struct.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace revizer::peers {
namespace {

template <class... F>
struct Overload : F... {
  using F::operator()...;
};

// Field numbers of google.protobuf.Value's kinds, Struct's fields and
// ListValue's values.
constexpr int kNullValue = 1, kNumberValue = 2, kStringValue = 3, kBoolValue = 4, kStructValue = 5, kListValue = 6;
constexpr int kStructFields = 1, kEntryKey = 1, kEntryValue = 2, kListValues = 1;

void append_key(std::string& out, int field, int wire_type) {
  append_varint(out, static_cast<unsigned long long>(field) << 3 | static_cast<unsigned>(wire_type));
}

std::string encode_list(const PeerList& list) {
  std::string out;
  for (const PeerValue& element : list) append_length_delimited(out, kListValues, encode_value(element));
  return out;
}

}  // namespace

void append_varint(std::string& out, unsigned long long value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void append_length_delimited(std::string& out, int field, const std::string& bytes) {
  append_key(out, field, 2);
  append_varint(out, bytes.size());
  out += bytes;
}

PeerValue reversed_keys(PeerValue value) {
  if (auto* list = std::get_if<PeerList>(&value.kind)) {
    for (PeerValue& element : *list) element = reversed_keys(std::move(element));
  } else if (auto* object = std::get_if<PeerObject>(&value.kind)) {
    std::reverse(object->begin(), object->end());
    for (PeerMember& member : *object) member.value = reversed_keys(std::move(member.value));
  }
  return value;
}

std::string encode_struct(const PeerObject& object) {
  std::string out;
  for (const PeerMember& member : object) {
    std::string entry;
    append_length_delimited(entry, kEntryKey, member.key);
    append_length_delimited(entry, kEntryValue, encode_value(member.value));
    append_length_delimited(out, kStructFields, entry);
  }
  return out;
}

std::string encode_value(const PeerValue& value) {
  std::string out;
  std::visit(Overload{
                 [&](std::nullptr_t) {
                   // A oneof member is written even when it holds its zero value.
                   append_key(out, kNullValue, 0);
                   append_varint(out, 0);
                 },
                 [&](bool b) {
                   append_key(out, kBoolValue, 0);
                   append_varint(out, b ? 1 : 0);
                 },
                 [&](double d) {
                   append_key(out, kNumberValue, 1);
                   static_assert(std::endian::native == std::endian::little, "doubles go on the wire as they lie");
                   char bytes[8];
                   std::memcpy(bytes, &d, 8);
                   out.append(bytes, 8);
                 },
                 [&](const std::string& s) { append_length_delimited(out, kStringValue, s); },
                 [&](const PeerList& l) { append_length_delimited(out, kListValue, encode_list(l)); },
                 [&](const PeerObject& o) { append_length_delimited(out, kStructValue, encode_struct(o)); },
             },
             value.kind);
  return out;
}

}  // namespace revizer::peers
