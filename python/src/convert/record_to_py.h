#pragma once

// Values straight into Python objects, the second writer beside the JSON
// codec. Records walk the same description (`Record::for_each_written`), so
// `to_py(x)` equals `json_to_py(Codec<T>::encode(x))`: the same keys in the
// same order and the same kinds of value (a non-finite float is None), only
// without building and destroying the JSON value in between. Kinds with no
// direct form here (unions, records without a visible description) take
// that JSON path.
//
// New reference, or null with the error set.

#include <Python.h>

#include <atomic>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/json/enum_codec.h"
#include "model/json/record.h"
#include "python/src/binding/ref.h"
#include "python/src/convert/json_to_py.h"
#include "python/src/convert/key_cache.h"

namespace revizer::python {

template <class T>
PyObject* to_py(const T& x);

namespace detail {

template <class T>
inline constexpr bool kIsStringMap = false;
template <class X>
inline constexpr bool kIsStringMap<std::map<std::string, X>> = true;
template <class X>
inline constexpr bool kIsStringMap<std::unordered_map<std::string, X>> = true;

template <class T>
inline constexpr bool kIsList = false;
template <class X>
inline constexpr bool kIsList<std::vector<X>> = true;

inline PyObject* text_to_py(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// One interned key per record field, shared by every call.
template <class R, std::size_t I>
PyObject* field_key(std::string_view key) {
  static std::atomic<PyObject*> slot{nullptr};
  return static_key(slot, key);
}

template <class R>
PyObject* record_to_py(const R& r) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  const auto& description = json_record(static_cast<const R*>(nullptr));
  const bool done = description.for_each_written(
      r, [&]<std::size_t I>(std::integral_constant<std::size_t, I>, std::string_view key, const auto& member) {
        PyObject* key_object = field_key<R, I>(key);
        if (key_object == nullptr) return false;
        Ref value = Ref::steal(to_py(member));
        return value && PyDict_SetItem(dict.get(), key_object, value.get()) == 0;
      });
  return done ? dict.release() : nullptr;
}

template <class L>
PyObject* list_to_py(const L& items) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyObject* item = to_py(items[i]);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

template <class M>
PyObject* map_to_py(const M& map) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, x] : map) {
    Ref key_object = Ref::steal(dict_key(key));
    if (!key_object) return nullptr;
    Ref value = Ref::steal(to_py(x));
    if (!value || PyDict_SetItem(dict.get(), key_object.get(), value.get()) < 0) return nullptr;
  }
  return dict.release();
}

}  // namespace detail

template <class T>
PyObject* to_py(const T& x) {
  if constexpr (std::is_same_v<T, std::string>) {
    return detail::text_to_py(x);
  } else if constexpr (std::is_same_v<T, bool>) {
    return Py_NewRef(x ? Py_True : Py_False);
  } else if constexpr (std::signed_integral<T>) {
    return PyLong_FromLongLong(x);
  } else if constexpr (std::unsigned_integral<T>) {
    return PyLong_FromUnsignedLongLong(x);
  } else if constexpr (std::is_same_v<T, double>) {
    if (!std::isfinite(x)) Py_RETURN_NONE;
    return PyFloat_FromDouble(x);
  } else if constexpr (std::is_same_v<T, json::Value>) {
    return json_to_py(x);
  } else if constexpr (json::kIsOptional<T>) {
    if (!x) Py_RETURN_NONE;
    return to_py(*x);
  } else if constexpr (detail::kIsList<T>) {
    return detail::list_to_py(x);
  } else if constexpr (detail::kIsStringMap<T>) {
    return detail::map_to_py(x);
  } else if constexpr (json::JsonEnum<T>) {
    return detail::text_to_py(json::json_name(x));
  } else if constexpr (json::DescribedRecord<T>) {
    return detail::record_to_py(x);
  } else {
    return json_to_py(json::Codec<T>::encode(x));
  }
}

}  // namespace revizer::python
