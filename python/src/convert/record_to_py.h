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
#include "python/src/binding/py_value.h"
#include "python/src/binding/ref.h"
#include "python/src/binding/text.h"
#include "python/src/convert/json_to_py.h"
#include "python/src/convert/key_cache.h"

namespace revizer::python {

template <class T>
PyObject* to_py(const T& x);

namespace detail {



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

inline constexpr auto kToPy = [](const auto& x) { return to_py(x); };
inline constexpr auto kDictKey = [](const std::string& key) { return dict_key(key); };

}  // namespace detail

template <class T>
PyObject* to_py(const T& x) {
  if constexpr (std::is_same_v<T, std::string>) {
    return new_str(x);
  } else if constexpr (detail::Scalar<T>) {
    return py_scalar(x);
  } else if constexpr (std::is_same_v<T, double>) {
    if (!std::isfinite(x)) Py_RETURN_NONE;
    return PyFloat_FromDouble(x);
  } else if constexpr (std::is_same_v<T, json::Value>) {
    return json_to_py(x);
  } else if constexpr (json::kIsOptional<T>) {
    if (!x) Py_RETURN_NONE;
    return to_py(*x);
  } else if constexpr (detail::kIsVectorValue<T>) {
    return py_list_of(x, detail::kToPy);
  } else if constexpr (detail::kIsTextMap<T>) {
    return py_dict_of(x, detail::kDictKey, detail::kToPy);
  } else if constexpr (json::JsonEnum<T>) {
    return new_str(json::json_name(x));
  } else if constexpr (json::DescribedRecord<T>) {
    return detail::record_to_py(x);
  } else {
    return json_to_py(json::Codec<T>::encode(x));
  }
}

}  // namespace revizer::python
