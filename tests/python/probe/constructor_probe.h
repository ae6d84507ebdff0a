#pragma once

#include <Python.h>

namespace revizer::python::probe {

// Adds the constructor twins (Part, InPlace, ByBody) to the probe module.
int add_constructor_probes(PyObject* module);

}  // namespace revizer::python::probe
