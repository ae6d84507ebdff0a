#pragma once

// A JSON-shaped value whose objects keep the order their entries were added
// in, and its encoding as google.protobuf.Struct / Value bytes in that order.
// The protobuf library writes map entries in an order of its own; test peers
// need to choose it, so that clients are shown answers whose keys are not
// sorted.

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace revizer::peers {

struct PeerValue;
struct PeerMember;
using PeerList = std::vector<PeerValue>;
using PeerObject = std::vector<PeerMember>;

struct PeerValue {
  std::variant<std::nullptr_t, bool, double, std::string, PeerList, PeerObject> kind = nullptr;

  PeerValue() = default;
  PeerValue(std::nullptr_t) {}
  PeerValue(bool b) : kind(b) {}
  PeerValue(double d) : kind(d) {}
  PeerValue(int i) : kind(static_cast<double>(i)) {}
  PeerValue(const char* s) : kind(std::string(s)) {}
  PeerValue(std::string s) : kind(std::move(s)) {}
  PeerValue(PeerList l) : kind(std::move(l)) {}
  PeerValue(PeerObject o) : kind(std::move(o)) {}
};

struct PeerMember {
  std::string key;
  PeerValue value;
};

// The same value with the entries of every object, at every depth, in
// reverse order.
PeerValue reversed_keys(PeerValue value);

// google.protobuf.Struct bytes of an object (entries in the object's order)
// and google.protobuf.Value bytes of any value.
std::string encode_struct(const PeerObject& object);
std::string encode_value(const PeerValue& value);

// Protobuf framing shared by the answer builders.
void append_varint(std::string& out, unsigned long long value);
void append_length_delimited(std::string& out, int field, const std::string& bytes);

}  // namespace revizer::peers
