#include "python/src/functions/module_functions.h"

#include <initializer_list>

#include "python/src/module_add.h"

namespace revizer::python {

int add_module_functions(PyObject* module) {
  for (PyMethodDef* def : {update_env_file_def(), admit_provider_call_id_def()}) {
    if (module_add_function(module, def) < 0) return -1;
  }
  return 0;
}

}  // namespace revizer::python
