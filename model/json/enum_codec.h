#pragma once

// Enumerations from one table of JSON names, in index order:
//
//   template <> struct json::EnumNames<PolicyMode> {
//     static constexpr std::array<std::string_view, 3> names{"monitor", "govern", "steer"};
//   };
//
// The enumerators must be 0, 1, 2, ... in the same order. Written as the
// name; read from the name or a one-entry object {"name": null}.

#include <array>
#include <type_traits>

#include "model/json/codec.h"
#include "model/json/variant_names.h"

namespace revizer::json {

template <class E>
struct EnumNames;

template <class E>
concept JsonEnum = std::is_enum_v<E> && requires { EnumNames<E>::names; };

template <JsonEnum E>
struct Codec<E> {
  static Value encode(E e) { return Value(std::string(EnumNames<E>::names[static_cast<std::size_t>(e)])); }
  static Decoded decode(Value&& in, E& out, Mode mode) {
    auto index = read_unit_name(std::move(in), mode, EnumNames<E>::names);
    if (!index) return fail(std::move(index).error());
    out = static_cast<E>(*index);
    return Ok{};
  }
};

}  // namespace revizer::json
