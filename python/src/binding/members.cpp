#include "python/src/binding/members.h"

namespace revizer::python::detail {

PyObject* property_entry(PyObject* self, void* closure) noexcept {
  return guarded<PyObject*>(nullptr, [&] { return static_cast<const PropertyReader*>(closure)->read(self); });
}

}  // namespace revizer::python::detail
