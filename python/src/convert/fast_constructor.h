#pragma once

// A vectorcall entry for a class's constructor. Calling the class goes
// through `type.__call__`, which packs keyword arguments into a dict before
// reaching `__new__`; with Py_tp_vectorcall the call binds the interpreter's
// argument vector directly (same parameter table, same binder texts), while
// `__new__` stays for explicit `Class.__new__(Class, ...)` calls.
//
// Rows go next to `constructor_slot` with the same template arguments.

#include <Python.h>

#include "python/src/binding/binding.h"

namespace revizer::python {
namespace detail {

template <class C, const auto& Sig, auto Body, class... Conv>
PyObject* vectorcall_new_entry(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&] {
    auto* type = reinterpret_cast<PyTypeObject*>(callable);
    return vector_call<Sig, Conv...>(args, static_cast<Py_ssize_t>(nargsf), kwnames, Body, type);
  });
}

}  // namespace detail

template <class C, const auto& Sig, auto Body, class... Conv>
PyType_Slot vectorcall_constructor_slot() {
  return {Py_tp_vectorcall, detail::as_slot(&detail::vectorcall_new_entry<C, Sig, Body, Conv...>)};
}

// The converter list of a constructor named once for both rows:
//   using NewArgs = Converters<arg::Text, ...>;
//   constructor_slot_for<C, kNew, &new_impl>(NewArgs{}),
//   vectorcall_constructor_slot_for<C, kNew, &new_impl>(NewArgs{}),
template <class... Conv>
struct Converters {};

template <class C, const auto& Sig, auto Body, class... Conv>
PyType_Slot constructor_slot_for(Converters<Conv...>) {
  return constructor_slot<C, Sig, Body, Conv...>();
}

template <class C, const auto& Sig, auto Body, class... Conv>
PyType_Slot vectorcall_constructor_slot_for(Converters<Conv...>) {
  return vectorcall_constructor_slot<C, Sig, Body, Conv...>();
}

}  // namespace revizer::python
