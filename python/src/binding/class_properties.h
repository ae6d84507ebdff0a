#pragma once

// The properties of a class description: one getter per property row, its
// body chosen from the member's type (py_value.h) unless the row names one.

#include <Python.h>

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "python/src/binding/class_doc.h"
#include "python/src/binding/members.h"
#include "python/src/binding/py_value.h"

namespace revizer::python {

namespace detail {

// The getter body of row I.
template <const auto& Desc, std::size_t I>
PyObject* read_row(const typename ClassTables<Desc>::Record& record) {
  using Row = typename ClassTables<Desc>::template Row<I>;
  if constexpr (Row::kHasBody) {
    return Row::kBody(record);
  } else {
    return py_value(record.*std::get<I>(Desc.rows).member);
  }
}

}  // namespace detail

// The properties of a description in row order; unterminated.
template <const auto& Desc>
std::vector<PyGetSetDef> described_properties() {
  using T = ClassTables<Desc>;
  using C = typename T::Class;
  std::vector<PyGetSetDef> properties;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    auto one = [&]<std::size_t J>(std::integral_constant<std::size_t, J>) {
      if constexpr (T::kPlacesProperty[J]) {
        const auto& row = std::get<J>(Desc.rows);
        properties.push_back(property<C, &detail::read_row<Desc, J>>(row.name, row.property_doc));
      }
    };
    (one(std::integral_constant<std::size_t, I>{}), ...);
  }(std::make_index_sequence<T::kRows>{});
  return properties;
}

}  // namespace revizer::python
