#pragma once

// Identifiers that a constructor makes when the caller leaves them out:
// `arg::GeneratedId<kCallIdPrefix>` takes a str, and for an absent argument
// or None makes the prefix and a random UUID (identifiers.h). A failure of
// the entropy source raises the panic exception with its text.

#include <Python.h>

#include <string>
#include <string_view>

#include "core/identifiers.h"
#include "python/src/binding/binding.h"

namespace revizer::python {

using core::generate_identifier;
using core::kCallIdPrefix;
using core::kCorrelationIdPrefix;
using core::kEventIdPrefix;
using core::kSnapshotIdPrefix;

// A new identifier in `out`; false with the panic exception raised.
inline bool generate_into(std::string& out, std::string_view prefix) {
  auto id = core::generate_identifier(prefix);
  if (!id) {
    raise_panic(id.error().c_str());
    return false;
  }
  out = std::move(*id);
  return true;
}

namespace arg {

template <const std::string_view& Prefix>
struct GeneratedId {
  using type = std::string;
  static constexpr bool absent_ok = true;
  static constexpr bool none_ok = true;
  static PyResult<type> convert(PyObject* object) {
    std::string out;
    if (!into(object, out)) return raised();
    return out;
  }
  static bool into(PyObject* object, type& out) {
    if (object == nullptr || object == Py_None) return generate_into(out, Prefix);
    return Text::into(object, out);
  }
};

}  // namespace arg
}  // namespace revizer::python
