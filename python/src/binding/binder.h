#pragma once

// The one argument binder: matches the positional and keyword arguments of a
// call to the slots of a parameter table and produces the exact TypeError
// texts of a failed binding. Slots left null were not given.

#include <Python.h>

#include <atomic>

#include "python/src/binding/signature.h"

namespace revizer::python {

// The parameter names of a table as interned strings, made once per table.
// Null with an error set if the interpreter cannot make them.
template <const auto& Sig>
PyObject* const* interned_names() noexcept;

// Vectorcall arguments (fast call with keywords). Returns false with the
// binding TypeError set. `slots` has room for every parameter, all null.
bool bind_vector(const SignatureView& sig, PyObject* const* names, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames, PyObject** slots) noexcept;

// Tuple and dict arguments (the constructor slot).
bool bind_tuple(const SignatureView& sig, PyObject* const* names, PyObject* args, PyObject* kwargs,
                PyObject** slots) noexcept;

namespace detail {
PyObject** intern_all(const Param* params, std::size_t count) noexcept;
}

template <const auto& Sig>
PyObject* const* interned_names() noexcept {
  // Process-wide: the strings are kept for the life of the process.
  static std::atomic<PyObject**> names{nullptr};
  PyObject** ready = names.load(std::memory_order_acquire);
  if (ready != nullptr) return ready;
  PyObject** made = detail::intern_all(Sig.params.data(), Sig.params.size());
  if (made == nullptr) return nullptr;
  // A racing thread may have stored its own; both hold equal interned names.
  names.compare_exchange_strong(ready, made, std::memory_order_acq_rel);
  return ready != nullptr ? ready : made;
}

}  // namespace revizer::python
