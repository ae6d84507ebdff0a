#include "python/src/binding/convert.h"

#include <climits>
#include <cstring>
#include <initializer_list>

namespace revizer::python {
namespace {

[[gnu::cold]] void out_of_range() {
  PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
}

// Python's own conversion to a C long (ints and objects with `__index__`).
PyResult<long> to_long(PyObject* object) {
  const long value = PyLong_AsLong(object);
  if (value == -1 && PyErr_Occurred()) return raised();
  return value;
}

// 1 for a NumPy boolean scalar, 0 for anything else, -1 with an interrupt
// set (an Exception while reading the type's names only means "not one").
int is_numpy_bool(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  auto names_match = [&](PyObject* (*read)(PyTypeObject*), std::initializer_list<const char*> wanted) -> int {
    Ref name = Ref::steal(read(type));
    if (!name) return discard_exception() ? 0 : -1;
    for (const char* text : wanted) {
      if (PyUnicode_CompareWithASCIIString(name.get(), text) == 0) return 1;
    }
    return 0;
  };
  const int numpy = names_match(&PyType_GetModuleName, {"numpy"});
  if (numpy <= 0) return numpy;
  return names_match(&PyType_GetName, {"bool_", "bool"});
}

}  // namespace

void type_check_error(PyObject* object, const char* expected) noexcept {
  if (object == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'", expected);
    return;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), expected);
}

void borrow_error() noexcept { PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed"); }

void str_to_list_error() noexcept { PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`"); }

void attach_note(const char* param_name) noexcept {
  PyObject* error = PyErr_GetRaisedException();
  if (error == nullptr) return;
  Ref note = Ref::steal(PyUnicode_FromFormat("while processing '%s'", param_name));
  if (note) {
    Ref method = Ref::steal(PyUnicode_InternFromString("add_note"));
    Ref added = method ? Ref::steal(PyObject_CallMethodOneArg(error, method.get(), note.get())) : Ref();
  }
  // A failure to add the note is dropped and the original error raised, but
  // an interrupt met on the way wins (with the original as its context).
  if (!discard_exception()) {
    PyObject* interrupt = PyErr_GetRaisedException();
    PyException_SetContext(interrupt, error);  // steals `error`
    PyErr_SetRaisedException(interrupt);
    return;
  }
  PyErr_SetRaisedException(error);
}

PyResult<std::string_view> to_text_view_general(PyObject* object) {
  if (!PyUnicode_Check(object)) {
    type_check_error(object, "str");
    return raised();
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return raised();
  return std::string_view(data, static_cast<std::size_t>(size));
}

PyResult<std::string> to_text(PyObject* object) {
  auto view = to_text_view(object);
  if (!view) return raised();
  return std::string(*view);
}

PyResult<bool> to_bool(PyObject* object) {
  if (object == Py_True) return true;
  if (object == Py_False) return false;
  const int numpy_bool = is_numpy_bool(object);
  if (numpy_bool < 0) return raised();
  if (numpy_bool > 0) {
    PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
      PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion",
                   Py_TYPE(object)->tp_name);
      return raised();
    }
    const int truth = number->nb_bool(object);
    if (truth < 0) return raised();
    return truth != 0;
  }
  type_check_error(object, "bool");
  return raised();
}

PyResult<std::int32_t> to_i32(PyObject* object) {
  auto value = to_long(object);
  if (!value) return raised();
  if (*value < INT32_MIN || *value > INT32_MAX) {
    out_of_range();
    return raised();
  }
  return static_cast<std::int32_t>(*value);
}

PyResult<std::uint32_t> to_u32(PyObject* object) {
  auto value = to_long(object);
  if (!value) return raised();
  if (*value < 0 || *value > static_cast<long>(UINT32_MAX)) {
    out_of_range();
    return raised();
  }
  return static_cast<std::uint32_t>(*value);
}

PyResult<double> to_f64(PyObject* object) {
  if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return raised();
  return value;
}

PyResult<TextMap> to_str_map(PyObject* object) {
  TextMap map;
  if (!fill_str_map(object, map)) return raised();
  return map;
}

}  // namespace revizer::python
