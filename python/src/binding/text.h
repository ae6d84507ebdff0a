#pragma once

// New str objects from UTF-8 text: the one way the module makes them.
// Properties hand out a fresh str on every read, so this is on their hot
// path: ASCII text (the common case) is copied straight into a new compact
// str, skipping the UTF-8 decoder.

#include <Python.h>

#include <cstring>
#include <string_view>

#include "text/ascii.h"

namespace revizer::python {

// `text` is UTF-8: strictly (invalid bytes raise UnicodeDecodeError), or
// with `errors` as the UTF-8 decoder takes it ("replace" for texts from
// outside, such as file paths in error messages). New reference, or null
// with the error set.
inline PyObject* new_str(std::string_view text, const char* errors = nullptr) noexcept {
  const auto size = static_cast<Py_ssize_t>(text.size());
  // One-character texts stay with the interpreter, which shares them.
  if (size > 1 && unicode::is_ascii(text)) {
    PyObject* str = PyUnicode_New(size, 127);
    if (str != nullptr) std::memcpy(PyUnicode_DATA(str), text.data(), text.size());
    return str;
  }
  return PyUnicode_DecodeUTF8(text.data(), size, errors);
}

}  // namespace revizer::python
