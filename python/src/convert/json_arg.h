#pragma once

// JSON values in class descriptions: `arg::Json` converts an argument with
// `py_to_json` (any object; its failure passes unchanged, with the
// argument's note), and a json::Value member reads back as `json_to_py` of
// it (a new dict, list or scalar on every read).

#include <Python.h>

#include "model/json/value.h"
#include "python/src/binding/convert.h"
#include "python/src/binding/py_value.h"
#include "python/src/convert/json_to_py.h"
#include "python/src/convert/py_to_json.h"

namespace revizer::python {

namespace arg {

struct Json {
  using type = json::Value;
  static constexpr bool absent_ok = false;
  static constexpr bool none_ok = true;  // as null
  static PyResult<type> convert(PyObject* object) { return py_to_json(object); }
};

}  // namespace arg

template <>
struct PyValue<json::Value> {
  static PyObject* make(const json::Value& value) { return json_to_py(value); }
};

}  // namespace revizer::python
