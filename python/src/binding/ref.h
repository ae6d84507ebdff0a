#pragma once

// Owning references and the error-as-value shape every binding function uses.

#include <Python.h>

#include <utility>

#include "support/result.h"

namespace revizer::python {

// "The Python error indicator is set": the error travels in the interpreter,
// the value only says that it is there.
struct PyErrSet {};

template <class T>
using PyResult = Result<T, PyErrSet>;

// Shorthand for a failed PyResult whose exception is already set.
inline Unexpected<PyErrSet> raised() noexcept { return {PyErrSet{}}; }

// A strong reference released on scope exit. Only for threads attached to the
// interpreter; references dropped elsewhere go through `release_reference`.
class Ref {
 public:
  Ref() noexcept = default;
  static Ref steal(PyObject* object) noexcept { return Ref(object); }
  static Ref borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return Ref(object);
  }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref(std::move(other)).swap(*this);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  void swap(Ref& other) noexcept { std::swap(object_, other.object_); }

 private:
  explicit Ref(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace revizer::python
