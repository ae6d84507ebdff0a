#pragma once

#include <Python.h>

namespace revizer::python::probe {

// Adds the classes made from descriptions alone (Gauge, Sealed) and Mode.
int add_described_probes(PyObject* module);

}  // namespace revizer::python::probe
