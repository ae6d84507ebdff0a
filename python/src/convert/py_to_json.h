#pragma once

#include <Python.h>

#include "model/json/value.h"
#include "python/src/binding/ref.h"

namespace revizer::python {

// A Python object as a JSON value, trying in order: None, bool (and NumPy
// bool scalars), int (signed, else unsigned 64-bit, else ValueError), float
// or anything the interpreter converts to a finite float, str, list, dict
// (str keys only), and finally str() of the object. Nested lists and dicts
// pass through the interpreter's recursion guard, so deep or self-containing
// input raises RecursionError. A dict changed while it is walked raises the
// panic exception ("dictionary changed size during iteration").
PyResult<json::Value> py_to_json(PyObject* object);

}  // namespace revizer::python
