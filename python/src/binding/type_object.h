#pragma once

// Class descriptions and their process-wide type objects. A class is a C++
// struct `C` with `using Record = ...;` and `static const ClassDef& def();`
// (optionally `static constexpr bool kBorrowFlag = true;`). `type_object<C>()`
// builds the heap type "builtins.<name>" from the description on first use
// and keeps it for the life of the process.

#include <Python.h>

#include <atomic>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace revizer::python {

// A class attribute set on the type right after it is built (the enumeration
// members). `produce` returns a new reference, or null with an error set.
struct ClassAttr {
  const char* name;
  PyObject* (*produce)();
};

// A constructor row of a ClassDef: {kConstructorSlot, &entries}. Not an
// interpreter slot id; the type builder replaces the row by Py_tp_new and
// Py_tp_vectorcall (see constructor.h).
struct ConstructorEntries {
  newfunc tp_new;
  vectorcallfunc vectorcall;
};
inline constexpr int kConstructorSlot = -1;

// A data class's objects converted by their JSON form alone, beside the
// direct paths that `to_dict` and `from_dict` take when they can; tests hold
// the two against each other.
struct DictForms {
  PyObject* (*to_dict)(PyObject* self);     // the JSON form as Python objects
  PyObject* (*from_dict)(PyObject* data);   // py_to_json, then the decoder
};

struct ClassDef {
  const char* name;                // "Decision"
  const char* doc;                 // "Decision(value)\n--\n\nPolicy evaluation decision."
  Py_ssize_t basicsize;            // sizeof the instance layout
  destructor dealloc;              // the plain release routine
  std::span<const PyType_Slot> slots;  // the class's own slots, unterminated
  PyMethodDef* methods;            // terminated by {}, or null
  PyGetSetDef* getset;             // terminated by {}, or null
  std::span<const ClassAttr> attrs;
  const DictForms* dict_forms = nullptr;  // data classes
};

// The description that `type` was built from; null for any other type.
const ClassDef* class_def_of(PyTypeObject* type) noexcept;

// The once-only cell of one class. Process-wide; never destroyed.
class TypeCell {
 public:
  // Borrowed type object; null with RuntimeError "An error occurred while
  // initializing class {}" (and its cause) set.
  PyTypeObject* get(const ClassDef& def) noexcept {
    if (PyTypeObject* type = ready()) return type;
    return get_slow(def);
  }
  // The type once it is complete, else null (no error set).
  PyTypeObject* ready() const noexcept {
    return complete_.load(std::memory_order_acquire) ? type_.load(std::memory_order_relaxed) : nullptr;
  }
  PyTypeObject* get_slow(const ClassDef& def) noexcept;

 private:
  PyTypeObject* build(const ClassDef& def) noexcept;
  bool fill_attributes(const ClassDef& def, PyTypeObject* type) noexcept;

  std::atomic<PyTypeObject*> type_{nullptr};
  std::atomic<bool> complete_{false};
  std::mutex mutex_;                      // guards everything below
  std::vector<std::thread::id> filling_;  // threads running the producers
  bool spec_ready_ = false;
  std::string spec_name_;
  std::vector<PyType_Slot> slots_;
  PyType_Spec spec_{};
};

template <class C>
TypeCell& type_cell() noexcept {
  static TypeCell* cell = new TypeCell;  // outlives interpreter shutdown
  return *cell;
}

// Borrowed type object of class `C`, or null with the error set.
template <class C>
PyTypeObject* type_object() noexcept {
  TypeCell& cell = type_cell<C>();
  if (PyTypeObject* type = cell.ready()) return type;
  return cell.get_slow(C::def());  // the description is looked at only once
}

// For callers that cannot report an error: reports it as unraisable and
// throws Panic "failed to create type object for `{}`".
[[noreturn]] void type_object_failed(const char* class_name);

template <class C>
PyTypeObject* type_object_or_panic() {
  PyTypeObject* type = type_object<C>();
  if (type == nullptr) type_object_failed(C::def().name);
  return type;
}

// Replaces the pending exception by RuntimeError(`message`) whose cause it is.
void wrap_error_as_cause(const std::string& message) noexcept;

}  // namespace revizer::python
