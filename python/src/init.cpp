// The module's entry from the interpreter: a static definition for two-phase
// initialisation, no per-module state, one execution step (module.cpp) and
// the declaration that the interpreter lock is not needed.
#include <Python.h>

#include "python/src/module.h"

namespace {

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&revizer::python::module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef kModuleDef = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "tavimor_revizer_client",
    .m_doc = "Python module: `tavimor_revizer_client`",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = kSlots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

extern "C" PyMODINIT_FUNC PyInit_tavimor_revizer_client() { return PyModuleDef_Init(&kModuleDef); }
