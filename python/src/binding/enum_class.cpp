#include "python/src/binding/enum_class.h"

#include <string>

#include "python/src/binding/text.h"
#include "text/ascii.h"

namespace revizer::python::enum_impl {
namespace {

// The full Unicode lower-case mapping of `text` as UTF-8; ASCII texts are
// lowered in place without asking the interpreter.
PyResult<std::string> lower_utf8(PyObject* text) {
  if (PyUnicode_IS_ASCII(text)) {
    return unicode::ascii_lower(std::string_view(reinterpret_cast<const char*>(PyUnicode_DATA(text)),
                                                 static_cast<std::size_t>(PyUnicode_GET_LENGTH(text))));
  }
  Ref lowered = Ref::steal(PyObject_CallMethod(text, "lower", nullptr));
  if (!lowered) return raised();
  auto view = to_text_view(lowered.get());
  if (!view) return raised();
  return std::string(*view);
}

}  // namespace

PyObject* lookup_member(PyTypeObject* type, MemberCells& cells, std::uint8_t index,
                        PyObject* (*make)(PyTypeObject*, std::uint8_t)) {
  std::atomic<PyObject*>& cell = cells.objects[index];
  // Wait for a thread that is creating members without holding the
  // interpreter, so that it can attach to finish.
  Detached detached;
  std::lock_guard lock(cells.mutex);
  detached.reattach();
  PyObject* object = cell.load(std::memory_order_acquire);
  if (object == nullptr) {
    object = make(type, index);
    if (object == nullptr) return nullptr;  // the cell stays empty; the next lookup retries
    cell.store(object, std::memory_order_release);
  }
  return Py_NewRef(object);
}

int parse(const EnumDef& def, PyObject* text) {
  auto lowered = lower_utf8(text);
  if (!lowered) return -1;
  if (def.hyphens_as_underscores) {
    for (char& c : *lowered) {
      if (c == '-') c = '_';
    }
  }
  for (std::size_t i = 0; i < def.members.size(); ++i) {
    if (*lowered == def.members[i].value) return static_cast<int>(i);
  }
  PyErr_Format(PyExc_ValueError, def.invalid_format, text);
  return -1;
}

PyObject* repr(const EnumDef& def, std::uint8_t index) {
  return PyUnicode_FromFormat("%s.%s", def.name, def.members[index].attr);
}

PyObject* str(const EnumDef& def, std::uint8_t index) { return new_str(def.members[index].value); }

PyObject* to_int(std::uint8_t index) { return PyLong_FromLong(index); }

PyObject* compare(std::uint8_t index, bool other_is_member, std::int64_t other, PyObject* other_object, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  bool equal = false;
  if (other_is_member) {
    equal = other == index;
  } else {
    Ref number = Ref::steal(PyNumber_Index(other_object));
    if (!number) {
      if (!discard_exception()) return nullptr;
      Py_RETURN_NOTIMPLEMENTED;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) return nullptr;
    equal = overflow == 0 && value == index;
  }
  return PyBool_FromLong((op == Py_EQ) == equal);
}

}  // namespace revizer::python::enum_impl
