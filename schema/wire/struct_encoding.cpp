#include "schema/wire/struct_encoding.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <string_view>

#include "schema/wire/varint.h"

namespace revizer::wire {
namespace {

// google.protobuf.Value: the kind oneof.
constexpr std::uint8_t kNullValue = key_byte(1, WireType::Varint);
constexpr std::uint8_t kNumberValue = key_byte(2, WireType::SixtyFourBit);
constexpr std::uint8_t kStringValue = key_byte(3, WireType::LengthDelimited);
constexpr std::uint8_t kBoolValue = key_byte(4, WireType::Varint);
constexpr std::uint8_t kStructValue = key_byte(5, WireType::LengthDelimited);
constexpr std::uint8_t kListValue = key_byte(6, WireType::LengthDelimited);
// Struct.fields (map entries of key = 1, value = 2) and ListValue.values.
constexpr std::uint8_t kStructFields = key_byte(1, WireType::LengthDelimited);
constexpr std::uint8_t kEntryKey = key_byte(1, WireType::LengthDelimited);
constexpr std::uint8_t kEntryValue = key_byte(2, WireType::LengthDelimited);
constexpr std::uint8_t kListValues = key_byte(1, WireType::LengthDelimited);

// Plan slot after the body size of an object of two or more entries: its keys
// are already in output order, or a permutation follows.
constexpr std::uint64_t kKeysInOrder = 0;
constexpr std::uint64_t kKeysPermuted = 1;

bool is_container(const json::Value& v) { return v.is_object() || v.is_array(); }

// The Value message of a scalar: its one kind field.
std::uint64_t scalar_value_size(const json::Value& v) {
  switch (v.kind()) {
    case json::Kind::Null:
    case json::Kind::Bool:
      return 2;
    case json::Kind::U64:
    case json::Kind::I64:
    case json::Kind::F64:
      return 9;
    case json::Kind::String:
      return delimited_size(v.as_string().size());
    default:
      break;
  }
  assert(false);
  return 0;
}

char* write_scalar_value(const json::Value& v, char* out) {
  switch (v.kind()) {
    case json::Kind::Null:
      out = write_byte(out, kNullValue);
      return write_byte(out, 0);
    case json::Kind::Bool:
      out = write_byte(out, kBoolValue);
      return write_byte(out, v.as_bool() ? 1 : 0);
    case json::Kind::String:
      return write_delimited(out, kStringValue, v.as_string().data(), v.as_string().size());
    default:
      out = write_byte(out, kNumberValue);
      return write_fixed64(out, std::bit_cast<std::uint64_t>(v.to_f64()));
  }
}

// A Struct entry: the key field (left out when the key is empty, as proto3
// leaves out every empty string) and the value field.
std::uint64_t entry_body_size(std::string_view key, std::uint64_t value_size) {
  return (key.empty() ? 0 : delimited_size(key.size())) + delimited_size(value_size);
}

char* write_entry_head(char* out, std::string_view key, std::uint64_t value_size) {
  out = write_byte(out, kStructFields);
  out = write_varint(out, entry_body_size(key, value_size));
  if (!key.empty()) out = write_delimited(out, kEntryKey, key.data(), key.size());
  out = write_byte(out, kEntryValue);
  return write_varint(out, value_size);
}

// One container being walked: an object (a Struct body) or an array (a
// ListValue body).
struct Frame {
  const json::Object* object = nullptr;
  const json::Array* array = nullptr;
  const std::uint64_t* order = nullptr;  // the key permutation, when not in order
  std::size_t count = 0;
  std::size_t next = 0;  // children done, in output order
  std::uint64_t body = 0;
  std::size_t size_slot = 0;  // where the planning pass puts the body size

  static Frame of(const json::Value& v) {
    if (v.is_object()) return of(v.as_object());
    Frame f;
    f.array = &v.as_array();
    f.count = f.array->size();
    return f;
  }
  static Frame of(const json::Object& o) {
    Frame f;
    f.object = &o;
    f.count = o.size();
    return f;
  }

  const json::Member& member(std::size_t i) const {
    return object->members()[order != nullptr ? static_cast<std::size_t>(order[i]) : i];
  }
  const json::Value& child(std::size_t i) const { return object != nullptr ? member(i).value : (*array)[i]; }
};

// Records the output order of an object's keys in the plan: ascending byte
// order, which is what std::string's comparison gives.
void plan_key_order(Frame& f, EncodePlan& plan) {
  if (f.object == nullptr || f.count < 2) return;
  const auto& members = f.object->members();
  bool in_order = true;
  for (std::size_t i = 1; i < f.count && in_order; ++i) in_order = members[i - 1].key < members[i].key;
  if (in_order) {
    plan.push_back(kKeysInOrder);
    return;
  }
  plan.push_back(kKeysPermuted);
  const std::size_t at = plan.size();
  for (std::size_t i = 0; i < f.count; ++i) plan.push_back(i);
  std::sort(plan.begin() + static_cast<std::ptrdiff_t>(at), plan.end(),
            [&](std::uint64_t a, std::uint64_t b) { return members[a].key < members[b].key; });
}

// Body size of a container; with a plan, also records it in output order.
template <bool kPlan>
std::uint64_t container_body_size(Frame root, EncodePlan* plan) {
  std::vector<Frame> stack;
  const auto open = [&](Frame f) {
    if constexpr (kPlan) {
      f.size_slot = plan->size();
      plan->push_back(0);
      plan_key_order(f, *plan);
    }
    stack.push_back(f);
  };
  // The permutation is looked up by its position in the plan, which stays
  // valid while the plan grows (a pointer would not).
  const auto member_index = [&](const Frame& f, std::size_t i) -> std::size_t {
    if constexpr (kPlan) {
      if (f.object != nullptr && f.count >= 2 && (*plan)[f.size_slot + 1] == kKeysPermuted)
        return static_cast<std::size_t>((*plan)[f.size_slot + 2 + i]);
    }
    return i;
  };
  const auto child_at = [&](const Frame& f, std::size_t i) -> const json::Value& {
    return f.object != nullptr ? f.object->members()[member_index(f, i)].value : (*f.array)[i];
  };
  const auto add_child = [&](Frame& f, std::size_t i, std::uint64_t value_size) {
    if (f.object == nullptr) {
      f.body += delimited_size(value_size);
    } else {
      f.body += delimited_size(entry_body_size(f.object->members()[member_index(f, i)].key, value_size));
    }
  };

  open(root);
  for (;;) {
    Frame& f = stack.back();
    if (f.next == f.count) {
      const std::uint64_t body = f.body;
      if constexpr (kPlan) (*plan)[f.size_slot] = body;
      stack.pop_back();
      if (stack.empty()) return body;
      Frame& parent = stack.back();
      add_child(parent, parent.next - 1, delimited_size(body));
      continue;
    }
    const std::size_t i = f.next++;
    const json::Value& child = child_at(f, i);
    if (is_container(child)) {
      open(Frame::of(child));  // invalidates f
    } else {
      add_child(f, i, scalar_value_size(child));
    }
  }
}

// Reads a container's plan: its body size and key order.
Frame open_planned(Frame f, const std::uint64_t*& plan) {
  f.body = *plan++;
  if (f.object != nullptr && f.count >= 2) {
    if (*plan++ == kKeysPermuted) {
      f.order = plan;
      plan += f.count;
    }
  }
  return f;
}

// What stands before a child's Value message: its map entry's head, or the
// ListValue's element key and length.
char* write_child_head(const Frame& f, std::size_t i, std::uint64_t value_size, char* out) {
  if (f.object != nullptr) return write_entry_head(out, f.member(i).key, value_size);
  out = write_byte(out, kListValues);
  return write_varint(out, value_size);
}

char* write_container(Frame root, const std::uint64_t*& plan, char* out) {
  std::vector<Frame> stack;
  stack.push_back(open_planned(root, plan));
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.count) {
      stack.pop_back();
      continue;
    }
    const std::size_t i = f.next++;
    const json::Value& child = f.child(i);
    if (!is_container(child)) {
      out = write_child_head(f, i, scalar_value_size(child), out);
      out = write_scalar_value(child, out);
      continue;
    }
    // The child's plan comes next: its body size sizes the heads.
    const std::uint64_t body = *plan;
    out = write_child_head(f, i, delimited_size(body), out);
    out = write_byte(out, child.is_object() ? kStructValue : kListValue);
    out = write_varint(out, body);
    stack.push_back(open_planned(Frame::of(child), plan));  // invalidates f
  }
  return out;
}

}  // namespace

std::uint64_t struct_body_size(const json::Object& object) {
  return container_body_size<false>(Frame::of(object), nullptr);
}

std::uint64_t plan_struct(const json::Object& object, EncodePlan& plan) {
  return container_body_size<true>(Frame::of(object), &plan);
}

char* write_struct(const json::Object& object, const std::uint64_t*& plan, char* out) {
  return write_container(Frame::of(object), plan, out);
}

std::string json_to_struct_value(const json::Value& value) {
  if (!is_container(value)) {
    std::string out(scalar_value_size(value), '\0');
    write_scalar_value(value, out.data());
    return out;
  }
  EncodePlan plan;
  const std::uint64_t body = container_body_size<true>(Frame::of(value), &plan);
  std::string out(delimited_size(body), '\0');
  char* p = write_byte(out.data(), value.is_object() ? kStructValue : kListValue);
  p = write_varint(p, body);
  const std::uint64_t* cursor = plan.data();
  p = write_container(Frame::of(value), cursor, p);
  assert(p == out.data() + out.size());
  return out;
}

}  // namespace revizer::wire
