#pragma once

// A strong reference that a thread without the interpreter may hold and
// drop: the release goes through the binding layer's deferred list when the
// dropping thread is not attached.

#include <Python.h>

#include <utility>

#include "python/src/binding/entry.h"

namespace revizer::python {

class AnyThreadRef {
 public:
  AnyThreadRef() noexcept = default;
  // Takes over a new reference.
  static AnyThreadRef steal(PyObject* object) noexcept { return AnyThreadRef(object); }
  AnyThreadRef(AnyThreadRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  AnyThreadRef& operator=(AnyThreadRef&& other) noexcept {
    AnyThreadRef(std::move(other)).swap(*this);
    return *this;
  }
  AnyThreadRef(const AnyThreadRef&) = delete;
  AnyThreadRef& operator=(const AnyThreadRef&) = delete;
  ~AnyThreadRef() { release_reference(object_); }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  void swap(AnyThreadRef& other) noexcept { std::swap(object_, other.object_); }
  // Keeps the reference for the life of the process (nothing may be
  // released: the interpreter is gone or going).
  void leak() noexcept { object_ = nullptr; }

 private:
  explicit AnyThreadRef(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace revizer::python
