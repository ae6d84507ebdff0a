#pragma once

#include <Python.h>

#include <string>

#include "python/src/binding/ref.h"

namespace revizer::python {

// The UTF-8 form of a str; lone surrogates, which have none, become U+FFFD.
PyResult<std::string> lossy_utf8(PyObject* text);

// str(object) as UTF-8 (lossy as above); an exception of __str__ passes on.
PyResult<std::string> str_of(PyObject* object);

}  // namespace revizer::python
