#pragma once

// Enumerations from one table per enumeration, in index order. Each row holds
// the value's JSON name, the Python member's attribute name and the Python
// value text; the JSON codec reads the first column, the Python enumeration
// class the other two:
//
//   template <> struct json::EnumTable<Decision> {
//     static constexpr std::array<json::EnumRow, 3> rows{{
//         {"Allow", "ALLOW", "allow"}, {"Deny", "DENY", "deny"}, {"Escalate", "ESCALATE", "escalate"}}};
//   };
//
// The enumerators must be 0, 1, 2, ... in row order. Written as the JSON
// name; read from the name or a one-entry object {"name": null}. An
// enumeration without a JSON form leaves the JSON column empty.

#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>

#include "model/json/codec.h"
#include "model/json/variant_names.h"

namespace revizer::json {

struct EnumRow {
  std::string_view json;   // "Allow"
  std::string_view attr;   // "ALLOW"
  std::string_view value;  // "allow"
};

template <class E>
struct EnumTable;

template <class E>
concept TabledEnum = std::is_enum_v<E> && requires { EnumTable<E>::rows; };

template <TabledEnum E>
inline constexpr std::size_t kEnumCount = EnumTable<E>::rows.size();

// The JSON names alone, in index order (the "unknown variant" list).
template <TabledEnum E>
inline constexpr auto kEnumJsonNames = [] {
  std::array<std::string_view, kEnumCount<E>> names{};
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = EnumTable<E>::rows[i].json;
  return names;
}();

template <TabledEnum E>
constexpr bool has_json_form() {
  for (const EnumRow& row : EnumTable<E>::rows)
    if (row.json.empty()) return false;
  return true;
}

template <class E>
concept JsonEnum = TabledEnum<E> && has_json_form<E>();

template <TabledEnum E>
constexpr const EnumRow& enum_row(E e) {
  return EnumTable<E>::rows[static_cast<std::size_t>(e)];
}

template <JsonEnum E>
constexpr std::string_view json_name(E e) {
  return enum_row(e).json;
}

template <JsonEnum E>
struct Codec<E> {
  static Value encode(E e) { return Value(std::string(json_name(e))); }
  static Decoded decode(Value&& in, E& out, Mode mode) {
    auto index = read_unit_name(std::move(in), mode, kEnumJsonNames<E>);
    if (!index) return fail(std::move(index).error());
    out = static_cast<E>(*index);
    return Ok{};
  }
};

}  // namespace revizer::json
