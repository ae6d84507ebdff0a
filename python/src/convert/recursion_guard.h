#pragma once

#include <Python.h>

namespace revizer::python {

// Py_EnterRecursiveCall / Py_LeaveRecursiveCall as a scope: one level per
// container that a conversion walks into.
class RecursionGuard {
 public:
  RecursionGuard() noexcept : entered_(Py_EnterRecursiveCall(" while converting to a JSON value") == 0) {}
  ~RecursionGuard() {
    if (entered_) Py_LeaveRecursiveCall();
  }
  RecursionGuard(const RecursionGuard&) = delete;
  RecursionGuard& operator=(const RecursionGuard&) = delete;
  explicit operator bool() const noexcept { return entered_; }

 private:
  bool entered_;
};

}  // namespace revizer::python
