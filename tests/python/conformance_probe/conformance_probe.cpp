// Test-only extension `_conformance_probe`: every class and function of the
// module (the same code, registered here), plus
//   to_dict_by_json(obj)         the object's JSON form as Python objects
//   from_dict_by_json(cls, data) py_to_json and the decoder, never the fast
//                                reader
// for the objects and classes of this module's data classes; TypeError for
// anything else.
#include <Python.h>

#include "python/src/binding/binding.h"
#include "python/src/module.h"

namespace revizer::python::probe {
namespace {

PyResult<const DictForms*> forms_of(PyObject* type) {
  const ClassDef* def = PyType_Check(type) ? class_def_of(reinterpret_cast<PyTypeObject*>(type)) : nullptr;
  if (def == nullptr || def->dict_forms == nullptr) {
    type_check_error(type, "data class");
    return raised();
  }
  return def->dict_forms;
}

PyObject* to_dict_by_json(PyObject* object) {
  auto forms = forms_of(reinterpret_cast<PyObject*>(Py_TYPE(object)));
  if (!forms) return nullptr;
  return (*forms)->to_dict(object);
}

PyObject* from_dict_by_json(PyObject* cls, PyObject* data) {
  auto forms = forms_of(cls);
  if (!forms) return nullptr;
  if ((*forms)->from_dict == nullptr) {
    PyErr_SetString(PyExc_TypeError, "the class has no from_dict");
    return nullptr;
  }
  return (*forms)->from_dict(data);
}

constexpr auto kToDict = signature(nullptr, "to_dict_by_json", "to_dict_by_json(obj)\n--\n\n", pos("obj"));
constexpr auto kFromDict =
    signature(nullptr, "from_dict_by_json", "from_dict_by_json(cls, data)\n--\n\n", pos("cls"), pos("data"));

PyMethodDef kMethods[] = {
    function<kToDict, &to_dict_by_json, arg::Object>(),
    function<kFromDict, &from_dict_by_json, arg::Object, arg::Object>(),
    {},
};

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef kModuleDef = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_conformance_probe",
    .m_doc = nullptr,
    .m_size = 0,
    .m_methods = kMethods,
    .m_slots = kSlots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace revizer::python::probe

extern "C" PyMODINIT_FUNC PyInit__conformance_probe() { return PyModuleDef_Init(&revizer::python::probe::kModuleDef); }
