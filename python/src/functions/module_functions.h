#pragma once

#include <Python.h>

namespace revizer::python {

// Adds the module's functions, in their registration order: update_env_file,
// then admit_provider_call_id. Returns 0, or -1 with an exception set.
int add_module_functions(PyObject* module);

// The definitions, each with static lifetime.
PyMethodDef* update_env_file_def();
PyMethodDef* admit_provider_call_id_def();

}  // namespace revizer::python
