#pragma once

// New str objects from UTF-8 text: the one way the module makes them. The
// interpreter's UTF-8 decoder takes ASCII a machine word at a time straight
// into a new compact str; copying into PyUnicode_New ourselves measured more
// instructions per str, for short property texts and dict values alike.

#include <Python.h>

#include <string_view>

namespace revizer::python {

// `text` is UTF-8: strictly (invalid bytes raise UnicodeDecodeError), or
// with `errors` as the UTF-8 decoder takes it ("replace" for texts from
// outside, such as file paths in error messages). New reference, or null
// with the error set.
inline PyObject* new_str(std::string_view text, const char* errors = nullptr) noexcept {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), errors);
}

// Raises `type` with the whole of `text`, NULs included (a C string would
// end at the first). When the str cannot be made, that error is set instead.
inline void set_error_text(PyObject* type, std::string_view text, const char* errors = nullptr) noexcept {
  PyObject* message = new_str(text, errors);
  if (message == nullptr) return;
  PyErr_SetObject(type, message);
  Py_DECREF(message);
}

}  // namespace revizer::python
