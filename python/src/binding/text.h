#pragma once

// New str objects from stored UTF-8 text. Properties hand out a fresh str on
// every read, so this is on their hot path: ASCII text (the common case) is
// copied straight into a new compact str, skipping the UTF-8 decoder.

#include <Python.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace revizer::python {

inline bool is_ascii(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  unsigned char seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) seen |= bytes[i];
  return seen < 0x80;
}

// `text` must be valid UTF-8 (it came from a str or the JSON reader). New
// reference, or null with the error set.
inline PyObject* new_str(std::string_view text) noexcept {
  const auto size = static_cast<Py_ssize_t>(text.size());
  // One-character texts stay with the interpreter, which shares them.
  if (size > 1 && is_ascii(text)) {
    PyObject* str = PyUnicode_New(size, 127);
    if (str != nullptr) std::memcpy(PyUnicode_DATA(str), text.data(), text.size());
    return str;
  }
  return PyUnicode_FromStringAndSize(text.data(), size);
}

}  // namespace revizer::python
