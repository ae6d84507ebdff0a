#pragma once

// Fresh Python values of record members, chosen by the member's C++ type:
// what a property returns. Every call builds new objects from copies, except
// that an enumeration value is its class's shared member object.
//
//   std::string                     str
//   std::optional<T>                None, or the value of T
//   Box<T>                          the value of T
//   bool                            bool
//   integers                        int
//   double                          float (NaN and the infinities included)
//   std::vector<T>                  a new list of the values of T
//   map from std::string to T       a new dict (the map's own order)
//   a model enumeration E           the shared member of EnumClass<E>
//   a record R                      a new object of DataClass<R>
//   anything else                   PyValue<T>::make (json::Value: see
//                                   python/src/convert/json_to_py.h)
//
// New reference, or null with the error set.

#include <Python.h>

#include <concepts>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "model/json/kinds.h"
#include "python/src/binding/object.h"
#include "python/src/binding/text.h"

namespace revizer::python {

// The Python class of record `R`: `using ToolClass = DataClass<agent::Tool>;`
// in a header, with its description (python/src/classes/data_class.h).
template <class R>
struct DataClass {
  using Record = R;
  static const ClassDef& def();
};

// The Python class of model enumeration `E` (enum_class.h).
template <class E>
struct EnumClass;

// Python values of kinds the binding layer does not know itself: specialise
// with `static PyObject* make(const T&)`.
template <class T>
struct PyValue;

template <class T>
PyObject* py_value(const T& value);

namespace detail {

template <class T>
concept HasPyValue = requires(const T& value) { PyValue<T>::make(value); };

template <class T>
concept Scalar = std::same_as<T, bool> || std::integral<T>;

}  // namespace detail

// bool or int, the same in every form.
template <detail::Scalar T>
PyObject* py_scalar(T value) {
  if constexpr (std::is_same_v<T, bool>) {
    return Py_NewRef(value ? Py_True : Py_False);
  } else if constexpr (std::signed_integral<T>) {
    return PyLong_FromLongLong(value);
  } else {
    return PyLong_FromUnsignedLongLong(value);
  }
}

namespace detail {

}  // namespace detail

// A new list of `make(value)` for each of `values` (a vector). New
// reference, or null with the error set.
template <class Values, class Make>
PyObject* py_list_of(const Values& values, Make&& make) {
  const std::size_t size = values.size();
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(size));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < size; ++i) {
    PyObject* item = make(values[i]);
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

// A new dict of `make_key(key)`: `make_value(value)` for each entry of `map`,
// in its own order.
template <class Map, class MakeKey, class MakeValue>
PyObject* py_dict_of(const Map& map, MakeKey&& make_key, MakeValue&& make_value) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, value] : map) {
    Ref key_object = Ref::steal(make_key(key));
    if (!key_object) return nullptr;
    Ref value_object = Ref::steal(make_value(value));
    if (!value_object || PyDict_SetItem(dict.get(), key_object.get(), value_object.get()) < 0) return nullptr;
  }
  return dict.release();
}

namespace detail {
inline constexpr auto kPyValueOf = [](const auto& value) { return py_value(value); };
inline constexpr auto kNewStrOf = [](const std::string& text) { return new_str(text); };
}  // namespace detail

template <class T>
PyObject* py_value(const T& value) {
  if constexpr (detail::HasPyValue<T>) {
    return PyValue<T>::make(value);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return new_str(value);
  } else if constexpr (detail::Scalar<T>) {
    return py_scalar(value);
  } else if constexpr (std::is_same_v<T, double>) {
    return PyFloat_FromDouble(value);
  } else if constexpr (json::kIsOptional<T>) {
    if (!value) Py_RETURN_NONE;
    return py_value(*value);
  } else if constexpr (json::kIsBox<T>) {
    return py_value(*value);
  } else if constexpr (json::kIsVector<T>) {
    return py_list_of(value, detail::kPyValueOf);
  } else if constexpr (json::kIsStringMap<T>) {
    return py_dict_of(value, detail::kNewStrOf, detail::kPyValueOf);
  } else if constexpr (std::is_enum_v<T>) {
    return EnumClass<T>::member(value);
  } else {
    return create_object<DataClass<T>>(value);
  }
}

}  // namespace revizer::python
