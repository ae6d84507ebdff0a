#include "python/src/binding/type_object.h"

#include <algorithm>
#include <utility>

#include "python/src/binding/entry.h"

namespace revizer::python {
namespace {

// Every type built here with its description. Process-wide, never released,
// like the types.
struct BuiltTypes {
  std::mutex mutex;
  std::vector<std::pair<PyTypeObject*, const ClassDef*>> entries;
};
BuiltTypes& built_types() {
  static BuiltTypes* built = new BuiltTypes;
  return *built;
}

void remember(PyTypeObject* type, const ClassDef& def) {
  BuiltTypes& built = built_types();
  std::lock_guard lock(built.mutex);
  built.entries.emplace_back(type, &def);
}

}  // namespace

const ClassDef* class_def_of(PyTypeObject* type) noexcept {
  BuiltTypes& built = built_types();
  std::lock_guard lock(built.mutex);
  for (const auto& [known, def] : built.entries) {
    if (known == type) return def;
  }
  return nullptr;
}

void wrap_error_as_cause(const std::string& message) noexcept {
  PyObject* cause = PyErr_GetRaisedException();
  PyErr_SetString(PyExc_RuntimeError, message.c_str());
  PyObject* wrapper = PyErr_GetRaisedException();
  if (wrapper == nullptr) {  // making the wrapper failed: keep the original
    PyErr_SetRaisedException(cause);
    return;
  }
  PyException_SetCause(wrapper, cause);  // steals `cause`
  PyErr_SetRaisedException(wrapper);
}

void type_object_failed(const char* class_name) {
  PyErr_WriteUnraisable(nullptr);
  throw Panic(std::string("failed to create type object for `") + class_name + "`");
}

PyTypeObject* TypeCell::build(const ClassDef& def) noexcept {
  try {
    {
      std::lock_guard lock(mutex_);
      if (!spec_ready_) {
        spec_name_ = std::string("builtins.") + def.name;
        if (def.doc != nullptr && def.doc[0] != '\0') slots_.push_back({Py_tp_doc, const_cast<char*>(def.doc)});
        bool constructible = false;
        for (const PyType_Slot& slot : def.slots) {
          if (slot.slot == kConstructorSlot) {
            const auto* entries = static_cast<const ConstructorEntries*>(slot.pfunc);
            slots_.push_back({Py_tp_new, reinterpret_cast<void*>(entries->tp_new)});
            slots_.push_back({Py_tp_vectorcall, reinterpret_cast<void*>(entries->vectorcall)});
            constructible = true;
          } else {
            constructible = constructible || slot.slot == Py_tp_new;
            slots_.push_back(slot);
          }
        }
        if (def.methods != nullptr) slots_.push_back({Py_tp_methods, def.methods});
        if (def.getset != nullptr) slots_.push_back({Py_tp_getset, def.getset});
        slots_.push_back({Py_tp_base, &PyBaseObject_Type});
        slots_.push_back({Py_tp_dealloc, reinterpret_cast<void*>(def.dealloc)});
        slots_.push_back({0, nullptr});
        unsigned flags = Py_TPFLAGS_DEFAULT;
        if (!constructible) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
        spec_ = {spec_name_.c_str(), static_cast<int>(def.basicsize), 0, flags, slots_.data()};
        spec_ready_ = true;
      }
    }
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec_));
  } catch (...) {
    PyErr_NoMemory();
    return nullptr;
  }
}

bool TypeCell::fill_attributes(const ClassDef& def, PyTypeObject* type) noexcept {
  const auto self = std::this_thread::get_id();
  {
    std::lock_guard lock(mutex_);
    // A producer of this class asked for the type again: hand it out unfilled.
    if (std::find(filling_.begin(), filling_.end(), self) != filling_.end()) return true;
    filling_.push_back(self);
  }
  auto leave = [&] {
    std::lock_guard lock(mutex_);
    filling_.erase(std::find(filling_.begin(), filling_.end(), self));
  };
  std::vector<PyObject*> values;
  try {
    values.reserve(def.attrs.size());
  } catch (...) {
    leave();
    PyErr_NoMemory();
    return false;
  }
  auto drop_values = [&] {
    for (PyObject* value : values) Py_DECREF(value);
  };
  for (const ClassAttr& attr : def.attrs) {
    PyObject* value = attr.produce();
    if (value == nullptr) {
      drop_values();
      leave();
      wrap_error_as_cause(std::string("An error occurred while initializing `") + def.name + "." + attr.name + "`");
      return false;
    }
    values.push_back(value);
  }
  bool ok = true;
  {
    std::lock_guard lock(mutex_);
    if (!complete_.load(std::memory_order_relaxed)) {
      for (std::size_t i = 0; i < values.size() && ok; ++i) {
        ok = PyObject_SetAttrString(reinterpret_cast<PyObject*>(type), def.attrs[i].name, values[i]) == 0;
      }
      if (ok) {
        filling_.clear();
        complete_.store(true, std::memory_order_release);
      }
    } else {
      // Another thread completed the class first; ours are surplus.
      filling_.erase(std::find(filling_.begin(), filling_.end(), self));
    }
  }
  drop_values();
  if (!ok) {
    leave();
    wrap_error_as_cause(std::string("An error occurred while initializing `") + def.name + ".__dict__`");
  }
  return ok;
}

PyTypeObject* TypeCell::get_slow(const ClassDef& def) noexcept {
  PyTypeObject* type = type_.load(std::memory_order_acquire);
  if (type == nullptr) {
    PyTypeObject* built = build(def);
    if (built == nullptr) {
      wrap_error_as_cause(std::string("An error occurred while initializing class ") + def.name);
      return nullptr;
    }
    if (type_.compare_exchange_strong(type, built, std::memory_order_acq_rel)) {
      type = built;
      try {
        remember(type, def);
      } catch (...) {
        // Only the tests' lookup misses the type.
      }
    } else {
      Py_DECREF(built);  // another thread stored its type first
    }
  }
  if (complete_.load(std::memory_order_acquire)) return type;
  if (!fill_attributes(def, type)) {
    wrap_error_as_cause(std::string("An error occurred while initializing class ") + def.name);
    return nullptr;
  }
  return type;
}

}  // namespace revizer::python
