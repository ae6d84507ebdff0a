#include "python/src/module_add.h"

#include "python/src/binding/convert.h"
#include "python/src/binding/entry.h"

namespace revizer::python {
namespace {

// The list `__all__` of `module`, created when missing. New reference or null.
PyObject* all_list(PyObject* module) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all != nullptr) {
    if (!PyList_Check(all)) {
      type_check_error(all, "list");
      Py_DECREF(all);
      return nullptr;
    }
    return all;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
  PyErr_Clear();
  all = PyList_New(0);
  if (all == nullptr) return nullptr;
  if (PyObject_SetAttrString(module, "__all__", all) < 0) {
    Py_DECREF(all);
    return nullptr;
  }
  return all;
}

}  // namespace

int module_add(PyObject* module, PyObject* name, PyObject* value) {
  PyObject* all = all_list(module);
  if (all == nullptr) return -1;
  const int appended = PyList_Append(all, name);
  Py_DECREF(all);
  if (appended < 0) {
    PyErr_WriteUnraisable(nullptr);
    throw Panic("could not append __name__ to __all__");
  }
  return PyObject_SetAttr(module, name, value);
}

int module_init_all(PyObject* module) {
  PyObject* all = all_list(module);
  if (all == nullptr) return -1;
  Py_DECREF(all);
  return 0;
}

int module_add_function(PyObject* module, PyMethodDef* def) {
  PyObject* module_name = PyModule_GetNameObject(module);
  if (module_name == nullptr) return -1;
  PyObject* function = PyCMethod_New(def, module, module_name, nullptr);
  Py_DECREF(module_name);
  if (function == nullptr) return -1;
  PyObject* name = PyObject_GetAttrString(function, "__name__");
  int result = -1;
  if (name != nullptr) {
    if (PyUnicode_Check(name)) {
      result = module_add(module, name, function);
    } else {
      type_check_error(name, "str");
    }
    Py_DECREF(name);
  }
  Py_DECREF(function);
  return result;
}

}  // namespace revizer::python
