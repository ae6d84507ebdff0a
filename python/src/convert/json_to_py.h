#pragma once

#include <Python.h>

#include "model/json/value.h"
#include "python/src/convert/key_cache.h"

namespace revizer::python {

// A JSON value as plain Python objects: None, bool, int, float, str, list and
// dict (keys in the object's order). New reference, or null with the error
// set (only the interpreter's own failures). The walk is iterative, so no
// depth of nesting can exhaust the stack.
PyObject* json_to_py(const json::Value& value, StrCaches* caches);
inline PyObject* json_to_py(const json::Value& value) { return json_to_py(value, str_caches()); }

}  // namespace revizer::python
