#pragma once

#include <Python.h>

namespace revizer::python {

// The module's one execution step: installs the TLS cryptography provider,
// registers the classes in their fixed order and then the functions, each
// name also appended to `__all__`. 0, or -1 with the exception set.
int module_exec(PyObject* module) noexcept;

}  // namespace revizer::python
