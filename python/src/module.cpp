// The module's entry from the interpreter: a static definition for two-phase
// initialisation whose one execution step registers the classes and functions.
#include <Python.h>

#include <array>

#include "python/src/module_add.h"
#include "revizer/client/crypto_provider.h"

namespace revizer::python {
namespace {

// One registered class: its name and the accessor of its process-wide type
// object (created on first use, cached for the life of the process).
struct ClassEntry {
  const char* name;
  PyTypeObject* (*type_object)();
};

// The registration order is part of the module's surface: `__all__` lists the
// classes in exactly this order, then the module functions.
constexpr std::array<ClassEntry, 0> kClasses{};

int module_exec(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'module'", Py_TYPE(module)->tp_name);
    return -1;
  }
  client::install_default_crypto_provider();
  if (module_init_all(module) < 0) return -1;
  for (const ClassEntry& entry : kClasses) {
    PyTypeObject* type = entry.type_object();
    if (type == nullptr) return -1;
    PyObject* name = PyUnicode_FromString(entry.name);
    if (name == nullptr) return -1;
    const int added = module_add(module, name, reinterpret_cast<PyObject*>(type));
    Py_DECREF(name);
    if (added < 0) return -1;
  }
  return 0;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec)},
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
}  // namespace revizer::python

extern "C" PyMODINIT_FUNC PyInit_tavimor_revizer_client() {
  return PyModuleDef_Init(&revizer::python::kModuleDef);
}
