#pragma once

// Rich comparison of the data classes: `==` and `!=` field by field against
// an object of the same class, NotImplemented for any other operand (so the
// interpreter's fallback decides, and an object never equals one of another
// class), and NotImplemented for ordering (so `<` raises TypeError).

#include <Python.h>

#include "python/src/binding/binding.h"

namespace revizer::python {

// `Equal(a, b)` compares two records; the record's own `==` by default.
struct RecordEquality {
  template <class R>
  bool operator()(const R& a, const R& b) const {
    return a == b;
  }
};

template <class C, class Equal = RecordEquality>
PyObject* compare_records(const typename C::Record& self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  // A different class gives NotImplemented for `!=` too: the interpreter then
  // negates the reflected `==`, which is the negation of `self == other`.
  Instance<C>* that = downcast<C>(other);
  if (that == nullptr) Py_RETURN_NOTIMPLEMENTED;
  const bool equal = Equal{}(self, that->record);
  return PyBool_FromLong((op == Py_EQ) == equal);
}

}  // namespace revizer::python
