#pragma once

// Instance layout, creation, release, type checks and shared borrows. An
// object is the interpreter's header followed by the class's record held
// inline, then (for classes with `kBorrowFlag`) the atomic borrow flag.

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "python/src/binding/entry.h"
#include "python/src/binding/ref.h"
#include "python/src/binding/type_object.h"

namespace revizer::python {

template <class C>
concept HasBorrowFlag = requires { requires C::kBorrowFlag; };

struct NoBorrowFlag {};

// 0 free, n > 0 shared borrows in progress, all bits set exclusively borrowed.
using BorrowFlag = std::atomic<std::uintptr_t>;
inline constexpr std::uintptr_t kExclusiveBorrow = ~std::uintptr_t{0};

template <class C>
struct Instance {
  PyObject ob_base;
  typename C::Record record;
  [[no_unique_address]] std::conditional_t<HasBorrowFlag<C>, BorrowFlag, NoBorrowFlag> borrow;
};

template <class C>
Instance<C>* instance(PyObject* object) noexcept {
  return reinterpret_cast<Instance<C>*>(object);
}

template <class C>
const typename C::Record& record_of(PyObject* object) noexcept {
  return instance<C>(object)->record;
}

// A record becomes an object of `type` (the type handed to `__new__`, or the
// class itself). New reference, or null with the error set; the record is
// consumed either way.
template <class C>
PyObject* create_object_of_type(PyTypeObject* type, typename C::Record record) {
  PyObject* object = type->tp_alloc(type, 0);
  if (object == nullptr) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return nullptr;
  }
  Instance<C>* self = instance<C>(object);
  new (&self->record) typename C::Record(std::move(record));
  if constexpr (HasBorrowFlag<C>) new (&self->borrow) BorrowFlag(0);
  return object;
}

template <class C>
PyObject* create_object(typename C::Record record) {
  return create_object_of_type<C>(type_object_or_panic<C>(), std::move(record));
}

// The plain release routine installed as tp_dealloc.
template <class C>
void release_object(PyObject* object) noexcept {
  EntryFrame frame;
  try {
    using Record = typename C::Record;
    instance<C>(object)->record.~Record();
  } catch (...) {
    raise_current_exception();
    PyErr_WriteUnraisable(object);
  }
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);
}

// Type check: the object itself when it is an instance of `C`, else null (no
// error set; `type_check_error` makes the exception when it is needed).
template <class C>
Instance<C>* downcast(PyObject* object) {
  PyTypeObject* type = type_object_or_panic<C>();
  if (Py_TYPE(object) == type || PyType_IsSubtype(Py_TYPE(object), type)) return instance<C>(object);
  return nullptr;
}

// Sets TypeError "'{}' object is not an instance of '{}'" (or "'None' is not
// an instance of '{}'") for `object` and the expected class name.
void type_check_error(PyObject* object, const char* expected) noexcept;

// Sets RuntimeError "Already mutably borrowed".
void borrow_error() noexcept;

// A shared borrow of an object with a borrow flag, released on scope exit.
template <class C>
class SharedBorrow {
 public:
  // Empty (with the error set) when the object is exclusively borrowed.
  explicit SharedBorrow(Instance<C>* self) noexcept {
    std::uintptr_t seen = self->borrow.load(std::memory_order_relaxed);
    while (seen != kExclusiveBorrow) {
      if (self->borrow.compare_exchange_weak(seen, seen + 1, std::memory_order_acq_rel)) {
        self_ = self;
        return;
      }
    }
    borrow_error();
  }
  ~SharedBorrow() {
    if (self_ != nullptr) self_->borrow.fetch_sub(1, std::memory_order_release);
  }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  explicit operator bool() const noexcept { return self_ != nullptr; }
  const typename C::Record& record() const noexcept { return self_->record; }

 private:
  Instance<C>* self_ = nullptr;
};

}  // namespace revizer::python
