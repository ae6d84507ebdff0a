#pragma once

// `to_dict()` and `from_dict(data)` of every data class, driven by the
// record's one description: `to_dict()` writes the dict straight from it
// (the same result as converting the JSON form), except where asset content
// is stripped from the JSON form first; `from_dict` reads plain data straight
// from it when it can prove the result the same (py_to_record.h), and
// otherwise converts to the JSON form and decodes (`json::decode`).

#include <Python.h>

#include <utility>

#include "model/json/codec_error.h"
#include "python/src/binding/binding.h"
#include "python/src/convert/json_to_py.h"
#include "python/src/convert/py_to_json.h"
#include "python/src/convert/py_to_record.h"
#include "python/src/convert/record_to_py.h"
#include "core/strip_asset_content.h"

namespace revizer::python {

enum class Strip { No, AssetContent };

[[gnu::cold]] inline void codec_value_error(const json::CodecError& error) {
  set_error_text(PyExc_ValueError, error.to_string());
}

// Records and unions alike (a union's value goes through its JSON form).
template <class C, Strip S = Strip::No>
PyObject* record_to_dict(const typename C::Record& record) {
  static_assert(json::Described<typename C::Record>, "include the record's description header");
  return to_py<typename C::Record, S == Strip::AssetContent>(record);
}

// A value of type `T` read from a Python object in its dict form (any
// object, as `from_dict(data)` takes it) through its JSON form alone. A
// failure of `py_to_json` passes unchanged; a decoder failure is a
// ValueError with the decoder's text.
template <class T>
PyResult<T> from_py_by_json(PyObject* data) {
  PyResult<json::Value> value = py_to_json(data);
  if (!value) return raised();
  auto decoded = json::decode<T>(std::move(*value));
  if (!decoded) {
    codec_value_error(decoded.error());
    return raised();
  }
  return std::move(*decoded);
}

// The same, read straight from plain data where that gives the same value.
template <class T>
PyResult<T> from_py(PyObject* data) {
  if constexpr (json::DescribedRecord<T>) {
    T record{};
    if (read_from_py(data, record)) return record;
  }
  return from_py_by_json<T>(data);
}

template <class C>
PyObject* record_from_dict(PyObject* data) {
  using Record = typename C::Record;
  if constexpr (json::DescribedRecord<Record>) {
    // Plain data is read straight into the new object's record, so the
    // common case moves nothing; otherwise the general path's record
    // replaces whatever the fast reader left there.
    Ref object = Ref::steal(emplace_object<C>(type_object_or_panic<C>()));
    if (!object) return nullptr;
    Record& record = instance<C>(object.get())->record;
    if (read_from_py(data, record)) return object.release();
    auto decoded = from_py_by_json<Record>(data);
    if (!decoded) return nullptr;
    record = std::move(*decoded);
    return object.release();
  } else {
    auto record = from_py_by_json<Record>(data);
    if (!record) return nullptr;
    return create_object<C>(std::move(*record));
  }
}

}  // namespace revizer::python
