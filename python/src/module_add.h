#pragma once

#include <Python.h>

namespace revizer::python {

// Adds `value` to `module` under `name` and appends `name` to the module's
// `__all__` list, creating the list on first use, so the two stay in step.
// Returns 0, or -1 with a Python exception set; throws Panic when the
// append to `__all__` fails (not expected to happen).
int module_add(PyObject* module, PyObject* name, PyObject* value);

// Makes sure `module` has its `__all__` list (so a module with nothing
// registered yet still has one). Returns 0, or -1 with an exception set.
int module_init_all(PyObject* module);

// Makes a built-in function from a static method definition, bound to
// `module` and carrying the module's name, and adds it under its `__name__`.
int module_add_function(PyObject* module, PyMethodDef* def);

}  // namespace revizer::python
