#include "schema/wire/struct_decoding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace revizer::wire {
namespace {

// One google.protobuf.Value being read: its kind so far. A struct kind keeps
// its entries unsorted until the Value is complete.
struct ValueSlot {
  json::Value value;  // null for NULL_VALUE and for no kind at all
  std::vector<json::Member> entries;
  bool is_struct = false;

  void set(json::Value v) {
    is_struct = false;
    entries.clear();
    value = std::move(v);
  }
  void become_struct() {
    if (is_struct) return;
    value = json::Value();
    is_struct = true;
  }
  json::Array& become_list() {
    if (is_struct || !value.is_array()) set(json::Value(json::Array{}));
    return value.as_array();
  }
  json::Value finish() && { return is_struct ? json::Value(sorted_object(std::move(entries))) : std::move(value); }
};

bool decode_value_message(ProtoDecoder& d, WireType type, int budget, ValueSlot& slot);

// A field of ListValue: `values` (1) appends one element.
bool decode_list_field(ProtoDecoder& d, std::uint32_t field, WireType type, int budget, json::Array& out) {
  if (field != 1) return d.skip_field(type, field, budget);
  ValueSlot element;
  if (!decode_value_message(d, type, budget, element)) return d.fail_in("ListValue", "values");
  out.push_back(std::move(element).finish());
  return true;
}

// One field of the `kind` oneof.
bool decode_kind(ProtoDecoder& d, std::uint32_t field, WireType type, int budget, ValueSlot& slot) {
  std::uint64_t bits = 0;
  switch (field) {
    case 1:  // null_value; any enumeration number stands for null
      if (!d.expect(type, WireType::Varint) || !d.read_varint(bits)) return false;
      slot.set(json::Value());
      return true;
    case 2:  // number_value
      if (!d.read_fixed64(type, bits)) return false;
      slot.set(number_to_json(std::bit_cast<double>(bits)));
      return true;
    case 3: {  // string_value
      std::string text;
      if (!d.read_string(type, text)) return false;
      slot.set(json::Value(std::move(text)));
      return true;
    }
    case 4:  // bool_value
      if (!d.expect(type, WireType::Varint) || !d.read_varint(bits)) return false;
      slot.set(json::Value(bits != 0));
      return true;
    case 5:  // struct_value: merges into a struct already there
      slot.become_struct();
      return d.message(type, budget, [&](std::uint32_t f, WireType t, int b) {
        return decode_struct_field(d, f, t, b, slot.entries);
      });
    case 6: {  // list_value: appends to a list already there
      json::Array& list = slot.become_list();
      return d.message(type, budget,
                       [&](std::uint32_t f, WireType t, int b) { return decode_list_field(d, f, t, b, list); });
    }
  }
  return d.fail("not a kind field");  // the caller passes fields 1 to 6 only
}

bool decode_value_field(ProtoDecoder& d, std::uint32_t field, WireType type, int budget, ValueSlot& slot) {
  if (field > 6) return d.skip_field(type, field, budget);
  return decode_kind(d, field, type, budget, slot) || d.fail_in("Value", "kind");
}

bool decode_value_message(ProtoDecoder& d, WireType type, int budget, ValueSlot& slot) {
  return d.message(type, budget,
                   [&](std::uint32_t f, WireType t, int b) { return decode_value_field(d, f, t, b, slot); });
}

// A map entry of Struct.fields: key = 1, value = 2. A missing key is the
// empty text, a missing value a Value with no kind.
bool decode_entry(ProtoDecoder& d, WireType type, int budget, std::vector<json::Member>& entries) {
  std::string key;
  ValueSlot slot;
  const bool ok = d.message(type, budget, [&](std::uint32_t field, WireType inner, int inner_budget) {
    if (field == 1) return d.read_string(inner, key);
    if (field == 2) return decode_value_message(d, inner, inner_budget, slot);
    return d.skip_field(inner, field, inner_budget);
  });
  if (!ok) return false;
  entries.emplace_back(std::move(key), std::move(slot).finish());
  return true;
}

bool less_key(const json::Member& a, const json::Member& b) { return a.key < b.key; }

constexpr std::size_t kInsertionSortMax = 16;

}  // namespace

json::Value number_to_json(double x) {
  if (!std::isfinite(x)) return json::Value();
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (x == std::trunc(x) && std::fabs(x) <= kTwoTo63) {
    if (x >= kTwoTo63) return json::Value(std::numeric_limits<std::int64_t>::max());
    return json::Value(static_cast<std::int64_t>(x));  // exact; -2^63 fits, -0.0 gives 0
  }
  return json::Value(x);
}

bool decode_struct_field(ProtoDecoder& d, std::uint32_t field, WireType type, int budget,
                         std::vector<json::Member>& entries) {
  if (field != 1) return d.skip_field(type, field, budget);
  return decode_entry(d, type, budget, entries) || d.fail_in("Struct", "fields");
}

json::Object sorted_object(std::vector<json::Member> entries) {
  const bool strictly_ascending =
      std::adjacent_find(entries.begin(), entries.end(), [](const json::Member& a, const json::Member& b) {
        return !(a.key < b.key);
      }) == entries.end();
  if (!strictly_ascending) {
    // Stable, so that among entries of one key the last one given is last.
    // Small objects, the usual case, sort in place without a buffer.
    if (entries.size() <= kInsertionSortMax) {
      for (std::size_t i = 1; i < entries.size(); ++i) {
        if (!less_key(entries[i], entries[i - 1])) continue;
        json::Member moving = std::move(entries[i]);
        std::size_t j = i;
        for (; j > 0 && less_key(moving, entries[j - 1]); --j) entries[j] = std::move(entries[j - 1]);
        entries[j] = std::move(moving);
      }
    } else {
      std::stable_sort(entries.begin(), entries.end(), less_key);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i + 1 < entries.size() && entries[i].key == entries[i + 1].key) continue;
      if (kept != i) entries[kept] = std::move(entries[i]);
      ++kept;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(kept), entries.end());
  }
  return json::Object::from_unique(std::move(entries));
}

Result<json::Object, DecodeError> struct_to_json_object(std::string_view encoded_struct) {
  ProtoDecoder d(encoded_struct);
  std::vector<json::Member> entries;
  const bool ok = d.fields(d.buffer_end(), [&](std::uint32_t field, WireType type) {
    return decode_struct_field(d, field, type, kRecursionLimit, entries);
  });
  if (!ok) return fail(d.take_error());
  return sorted_object(std::move(entries));
}

Result<json::Value, DecodeError> struct_value_to_json(std::string_view encoded_value) {
  ProtoDecoder d(encoded_value);
  ValueSlot slot;
  const bool ok = d.fields(d.buffer_end(), [&](std::uint32_t field, WireType type) {
    return decode_value_field(d, field, type, kRecursionLimit, slot);
  });
  if (!ok) return fail(d.take_error());
  return std::move(slot).finish();
}

}  // namespace revizer::wire
