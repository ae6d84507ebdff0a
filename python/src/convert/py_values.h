#pragma once

// Fresh Python values from record fields, for properties and reprs: every
// call builds new objects from copies, so callers never share state with the
// record.

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "python/src/binding/binding.h"
#include "python/src/binding/text.h"

namespace revizer::python {

// Stored texts are valid UTF-8 (they came from Python strings or the JSON
// reader), so building the str cannot fail other than by running out of memory.
inline PyObject* py_text(std::string_view text) { return new_str(text); }

inline PyObject* py_optional_text(const std::optional<std::string>& text) {
  if (!text) Py_RETURN_NONE;
  return py_text(*text);
}

// A new object of class `C` from a copy of `record`.
template <class C>
PyObject* py_record(const typename C::Record& record) {
  return create_object<C>(record);
}

template <class C>
PyObject* py_optional_record(const std::optional<typename C::Record>& record) {
  if (!record) Py_RETURN_NONE;
  return create_object<C>(*record);
}

// A new list of new `C` objects.
template <class C>
PyObject* py_record_list(const std::vector<typename C::Record>& records) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(records.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < records.size(); ++i) {
    PyObject* item = create_object<C>(records[i]);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

}  // namespace revizer::python
