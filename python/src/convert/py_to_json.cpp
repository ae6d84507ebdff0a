#include "python/src/convert/py_to_json.h"

#include <cmath>
#include <string>

#include "python/src/binding/binding.h"
#include "python/src/convert/py_text.h"
#include "python/src/convert/recursion_guard.h"

namespace revizer::python {
namespace {

[[gnu::cold]] void integer_out_of_range(PyObject* number) {
  Ref text = Ref::steal(PyObject_Str(number));
  if (!text) return;
  PyErr_Format(PyExc_ValueError, "integer out of range for JSON number: %U is outside signed or unsigned 64-bit range",
               text.get());
}

// The converters write into `out` and return false with the Python error set
// on failure: values are built in place, never moved through result wrappers.
bool int_to_json(PyObject* object, json::Value& out) {
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (overflow == 0) {
    if (value == -1 && PyErr_Occurred()) return false;
    out = json::Value(static_cast<std::int64_t>(value));
    return true;
  }
  if (overflow > 0) {
    const unsigned long long unsigned_value = PyLong_AsUnsignedLongLong(object);
    if (!(unsigned_value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
      out = json::Value(static_cast<std::uint64_t>(unsigned_value));
      return true;
    }
    if (!discard_exception()) return false;
  }
  integer_out_of_range(object);
  return false;
}

// The interpreter's float conversion (`__float__`, else `__index__`) when the
// type offers one, into `out`; a non-finite result, or an Exception raised by
// the conversion, leaves `out` empty and passes the object on. False when
// the conversion raised anything else (an interrupt), which stays set.
bool finite_float(PyObject* object, std::optional<double>& out) {
  PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
  if (number == nullptr || (number->nb_float == nullptr && number->nb_index == nullptr)) return true;
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return discard_exception();
  if (std::isfinite(value)) out = value;
  return true;
}

bool list_to_json(PyObject* list, json::Value& out);
bool dict_to_json(PyObject* dict, json::Value& out);

bool convert(PyObject* object, json::Value& out) {
  if (object == Py_None) {
    out = json::Value();
    return true;
  }
  if (PyBool_Check(object)) {
    out = json::Value(object == Py_True);
    return true;
  }
  if (PyLong_Check(object)) return int_to_json(object, out);
  if (PyFloat_CheckExact(object)) {
    const double value = PyFloat_AS_DOUBLE(object);
    if (std::isfinite(value)) {
      out = json::Value(value);
      return true;
    }
  } else if (PyUnicode_CheckExact(object) || PyList_CheckExact(object) || PyDict_CheckExact(object)) {
    // These exact types have no float conversion: skip the numeric probe.
  } else {
    // The binding layer's boolean rule accepts NumPy bool scalars by their
    // truth value; its refusal of anything else only passes the object on.
    PyResult<bool> truth = to_bool(object);
    if (truth) {
      out = json::Value(*truth);
      return true;
    }
    if (!discard_exception()) return false;
    std::optional<double> value;
    if (!finite_float(object, value)) return false;
    if (value) {
      out = json::Value(*value);
      return true;
    }
  }
  if (PyUnicode_Check(object)) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(object, &size)) {
      out = json::Value(std::string(data, static_cast<std::size_t>(size)));
      return true;
    }
    if (!discard_exception()) return false;  // lone surrogates: written through str() below
  } else if (PyList_Check(object)) {
    return list_to_json(object, out);
  } else if (PyDict_Check(object)) {
    return dict_to_json(object, out);
  }
  PyResult<std::string> text = str_of(object);
  if (!text) return false;
  out = json::Value(std::move(*text));
  return true;
}

bool list_to_json(PyObject* list, json::Value& out) {
  RecursionGuard guard;
  if (!guard) return false;
  json::Array array;
  array.reserve(static_cast<std::size_t>(PyList_GET_SIZE(list)));
  // The size is read again on every step: an element's __str__ may change
  // the list while it is walked.
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
    Ref item = Ref::borrow(PyList_GET_ITEM(list, i));
    if (!convert(item.get(), array.emplace_back())) return false;
  }
  out = json::Value(std::move(array));
  return true;
}

bool dict_to_json(PyObject* dict, json::Value& out) {
  RecursionGuard guard;
  if (!guard) return false;
  json::Object object;
  const Py_ssize_t initial_size = PyDict_GET_SIZE(dict);
  object.reserve(static_cast<std::size_t>(initial_size));
  Py_ssize_t remaining = initial_size;
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (true) {
    // A value's __str__ may change the dict between two steps.
    if (PyDict_GET_SIZE(dict) != initial_size) throw Panic("dictionary changed size during iteration");
    if (!PyDict_Next(dict, &position, &key, &value)) break;
    if (--remaining < 0) throw Panic("dictionary keys changed during iteration");
    Ref held_key = Ref::borrow(key);
    Ref held_value = Ref::borrow(value);
    if (!PyUnicode_Check(key)) {
      type_check_error(key, "str");
      return false;
    }
    Py_ssize_t key_size = 0;
    const char* key_data = PyUnicode_AsUTF8AndSize(key, &key_size);
    if (key_data == nullptr) return false;
    json::Value converted;
    if (!convert(held_value.get(), converted)) return false;
    std::string key_text(key_data, static_cast<std::size_t>(key_size));
    if (PyUnicode_CheckExact(key)) {
      // Distinct exact str keys have distinct texts.
      object.append_new(std::move(key_text), std::move(converted));
    } else {
      // Two str-subclass keys may share one text: keep one entry, as the reader does.
      object.insert(std::move(key_text), std::move(converted));
    }
  }
  out = json::Value(std::move(object));
  return true;
}

}  // namespace

PyResult<json::Value> py_to_json(PyObject* object) {
  json::Value value;
  if (!convert(object, value)) return raised();
  return value;
}

}  // namespace revizer::python
