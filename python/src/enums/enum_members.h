#pragma once

// The members of a Python enumeration class, taken from the model's one
// table of the enumeration (attribute names and value texts in index order).
// The table's texts are string literals, so their data are NUL-terminated.

#include <array>
#include <cstddef>

#include "model/json/enum_codec.h"
#include "python/src/binding/enum_class.h"

namespace revizer::python {

template <json::TabledEnum E>
inline constexpr auto kMembersOf = [] {
  std::array<EnumMember, json::kEnumCount<E>> members{};
  for (std::size_t i = 0; i < members.size(); ++i) {
    members[i] = EnumMember{json::EnumTable<E>::rows[i].attr.data(), json::EnumTable<E>::rows[i].value.data()};
  }
  return members;
}();

}  // namespace revizer::python
