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

// Memory for an object of `type` with its header set (one reference, and a
// reference to its heap type); the rest is not initialised. Our types carry
// no GC flag and no managed dict and keep object's tp_free (PyObject_Free), so
// the object comes straight from the small-object allocator, without
// tp_alloc's zeroing. Null with the error set.
inline PyObject* allocate_object(PyTypeObject* type) noexcept {
  auto* object = static_cast<PyObject*>(PyObject_Malloc(static_cast<std::size_t>(type->tp_basicsize)));
  if (object == nullptr) return PyErr_NoMemory();
  return PyObject_Init(object, type);
}

// A new object of `type` whose record is constructed from `args` (a default
// record when none). New reference, or null with the error set.
template <class C, class... Args>
PyObject* emplace_object(PyTypeObject* type, Args&&... args) noexcept {
  using Record = typename C::Record;
  // Nothing may fail once the memory is taken: the object could not be
  // released by the interpreter's rules halfway built.
  static_assert(std::is_nothrow_constructible_v<Record, Args&&...>);
  PyObject* object = allocate_object(type);
  if (object == nullptr) return nullptr;
  Instance<C>* self = instance<C>(object);
  new (&self->record) Record(std::forward<Args>(args)...);
  if constexpr (HasBorrowFlag<C>) new (&self->borrow) BorrowFlag(0);
  return object;
}

// A record becomes an object of `type` (the type handed to `__new__`, or the
// class itself). New reference, or null with the error set; the record is
// consumed either way.
template <class C>
PyObject* create_object_of_type(PyTypeObject* type, typename C::Record record) {
  return emplace_object<C>(type, std::move(record));
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
