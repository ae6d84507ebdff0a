#include "python/src/convert/py_text.h"

#include "python/src/binding/entry.h"
#include "text/code_points.h"

namespace revizer::python {

PyResult<std::string> lossy_utf8(PyObject* text) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) return std::string(data, static_cast<std::size_t>(size));
  if (!discard_exception()) return raised();
  std::string out;
  const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
  const int kind = PyUnicode_KIND(text);
  const void* data = PyUnicode_DATA(text);
  out.reserve(static_cast<std::size_t>(length));
  for (Py_ssize_t i = 0; i < length; ++i) {
    const Py_UCS4 cp = PyUnicode_READ(kind, data, i);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    unicode::append_utf8(out, surrogate ? unicode::kReplacementCharacter : static_cast<char32_t>(cp));
  }
  return out;
}

PyResult<std::string> str_of(PyObject* object) {
  Ref text = Ref::steal(PyObject_Str(object));
  if (!text) return raised();
  return lossy_utf8(text.get());
}

}  // namespace revizer::python
