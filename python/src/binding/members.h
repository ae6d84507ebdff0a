#pragma once

// Entry points and member-table builders. Each builder returns one static
// table row (a PyType_Slot, PyMethodDef or PyGetSetDef) whose C function is a
// trampoline: it runs inside an entry frame, binds the arguments by the
// callable's table, converts them, and calls the typed body. Bodies return a
// new reference or null with the Python error set, and may throw (Panic,
// std::bad_alloc); nothing escapes the trampoline.

#include <Python.h>

#include <optional>
#include <tuple>
#include <utility>

#include "python/src/binding/binder.h"
#include "python/src/binding/convert.h"
#include "python/src/binding/object.h"
#include "python/src/binding/text.h"

namespace revizer::python {
namespace detail {

template <const auto& Sig, class... Conv>
constexpr bool table_accepts_converters() {
  static_assert(sizeof...(Conv) == Sig.params.size(), "one converter per parameter");
  std::size_t i = 0;
  return ((Sig.params[i++].required || Conv::absent_ok) && ...);
}

// Converts the bound slots in table order; the first failure gets its note
// and ends the conversion.
template <const auto& Sig, class... Conv, std::size_t... I>
bool convert_slots(PyObject* const* slots, std::tuple<std::optional<typename Conv::type>...>& values,
                   std::index_sequence<I...>) {
  return ([&] {
    auto value = Conv::convert(slots[I]);
    if (!value) {
      attach_note(Sig.params[I].name);
      return false;
    }
    std::get<I>(values).emplace(std::move(*value));
    return true;
  }() && ...);
}

// Converts `slots` and calls `body(prefix..., converted...)`.
template <const auto& Sig, class... Conv, class Body, class... Prefix>
PyObject* convert_and_call(PyObject* const* slots, Body&& body, Prefix&&... prefix) {
  static_assert(table_accepts_converters<Sig, Conv...>(),
                "a parameter without default needs a converter that accepts absence");
  std::tuple<std::optional<typename Conv::type>...> values;
  if (!convert_slots<Sig, Conv...>(slots, values, std::index_sequence_for<Conv...>{})) return nullptr;
  return std::apply([&](auto&... value) { return body(std::forward<Prefix>(prefix)..., std::move(*value)...); },
                    values);
}

// Slot storage sized for the table (at least one element).
template <const auto& Sig>
using SlotArray = std::array<PyObject*, Sig.params.size() == 0 ? 1 : Sig.params.size()>;

template <const auto& Sig, class... Conv, class Body, class... Prefix>
PyObject* vector_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Body&& body,
                      Prefix&&... prefix) {
  PyObject* const* names = interned_names<Sig>();
  if (names == nullptr) return nullptr;
  SlotArray<Sig> slots{};
  static constexpr SignatureView view = Sig.view();
  if (!bind_vector(view, names, args, PyVectorcall_NARGS(nargs), kwnames, slots.data())) return nullptr;
  return convert_and_call<Sig, Conv...>(slots.data(), std::forward<Body>(body), std::forward<Prefix>(prefix)...);
}

// Runs `body(record)` for `self`, under a shared borrow where the class has a
// borrow flag.
template <class C, class Body>
PyObject* with_record(PyObject* self, Body&& body) {
  if constexpr (HasBorrowFlag<C>) {
    SharedBorrow<C> borrow(instance<C>(self));
    if (!borrow) return nullptr;
    return body(borrow.record());
  } else {
    return body(record_of<C>(self));
  }
}

template <class C, auto Body>
PyObject* unary_entry(PyObject* self) noexcept {
  return guarded<PyObject*>(nullptr, [&] { return with_record<C>(self, Body); });
}

template <class C, auto Body>
PyObject* noargs_entry(PyObject* self, PyObject*) noexcept {
  return guarded<PyObject*>(nullptr, [&] { return with_record<C>(self, Body); });
}

template <class C, auto Body>
PyObject* self_noargs_entry(PyObject* self, PyObject*) noexcept {
  return guarded<PyObject*>(nullptr, [&] {
    return with_record<C>(self, [&](const typename C::Record& record) { return Body(self, record); });
  });
}

template <auto Body>
PyObject* static_noargs_entry(PyObject*, PyObject*) noexcept {
  return guarded<PyObject*>(nullptr, [] { return Body(); });
}

template <class C, auto Body>
PyObject* richcompare_entry(PyObject* self, PyObject* other, int op) noexcept {
  return guarded<PyObject*>(nullptr, [&] {
    if (op < Py_LT || op > Py_GE) throw Panic("invalid compareop");
    return with_record<C>(self, [&](const typename C::Record& record) { return Body(record, other, op); });
  });
}

template <class C, const auto& Sig, auto Body, class... Conv>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&] {
    return with_record<C>(self, [&](const typename C::Record& record) {
      return vector_call<Sig, Conv...>(args, nargs, kwnames, Body, record);
    });
  });
}

template <const auto& Sig, auto Body, class... Conv>
PyObject* static_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&] { return vector_call<Sig, Conv...>(args, nargs, kwnames, Body); });
}

// A getter per property: the body is called directly, no closure lookup.
template <class C, auto Body>
PyObject* property_entry(PyObject* self, void*) noexcept {
  return guarded<PyObject*>(nullptr, [&] { return with_record<C>(self, Body); });
}

template <class F>
void* as_slot(F* function) noexcept {
  return reinterpret_cast<void*>(function);
}

// Method tables store every calling convention as PyCFunction.
template <class F>
PyCFunction as_cfunction(F* function) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace detail

// --- Slots (PyType_Slot rows of a ClassDef) ---------------------------------

// Constructors: constructor.h.

// `__repr__`, `__str__`, `__int__`: Body(const Record&) -> new reference.
template <int Slot, class C, auto Body>
PyType_Slot unary_slot() {
  return {Slot, detail::as_slot(&detail::unary_entry<C, Body>)};
}
template <class C, auto Body>
PyType_Slot repr_slot() {
  return unary_slot<Py_tp_repr, C, Body>();
}
template <class C, auto Body>
PyType_Slot str_slot() {
  return unary_slot<Py_tp_str, C, Body>();
}
template <class C, auto Body>
PyType_Slot int_slot() {
  return unary_slot<Py_nb_int, C, Body>();
}

// `__richcompare__`: Body(const Record&, PyObject* other, int op) -> new
// reference (Py_NotImplemented included). `op` is checked to be 0..5.
template <class C, auto Body>
PyType_Slot richcompare_slot() {
  return {Py_tp_richcompare, detail::as_slot(&detail::richcompare_entry<C, Body>)};
}

// --- Methods (PyMethodDef rows) -------------------------------------------

// Instance method without parameters: Body(const Record&). `doc` is
// "name($self)\n--\n\n" plus an optional doc line.
template <class C, auto Body>
PyMethodDef method(const char* name, const char* doc) {
  return {name, detail::as_cfunction(&detail::noargs_entry<C, Body>), METH_NOARGS, doc};
}

// The same for a body that also needs the object itself (`__enter__`
// returns it): Body(PyObject* self, const Record&).
template <class C, auto Body>
PyMethodDef self_method(const char* name, const char* doc) {
  return {name, detail::as_cfunction(&detail::self_noargs_entry<C, Body>), METH_NOARGS, doc};
}

// Instance method with parameters: Body(const Record&, Conv::type...).
template <class C, const auto& Sig, auto Body, class... Conv>
PyMethodDef method() {
  return {Sig.callable, detail::as_cfunction(&detail::method_entry<C, Sig, Body, Conv...>),
          METH_FASTCALL | METH_KEYWORDS, Sig.doc};
}

// Static method: Body(Conv::type...).
template <const auto& Sig, auto Body, class... Conv>
PyMethodDef static_method() {
  return {Sig.callable, detail::as_cfunction(&detail::static_entry<Sig, Body, Conv...>),
          METH_FASTCALL | METH_KEYWORDS | METH_STATIC, Sig.doc};
}

// Static method without parameters: Body().
template <auto Body>
PyMethodDef static_method(const char* name, const char* doc) {
  return {name, detail::as_cfunction(&detail::static_noargs_entry<Body>), METH_NOARGS | METH_STATIC, doc};
}

// Module function: Body(Conv::type...); added with `module_add_function`.
template <const auto& Sig, auto Body, class... Conv>
PyMethodDef function() {
  static_assert(Sig.class_name == nullptr, "module functions have no class");
  return {Sig.callable, detail::as_cfunction(&detail::static_entry<Sig, Body, Conv...>),
          METH_FASTCALL | METH_KEYWORDS, Sig.doc};
}

// --- Properties (PyGetSetDef rows) ----------------------------------------

// Read-only property: Body(const Record&) -> new reference.
template <class C, auto Body>
PyGetSetDef property(const char* name, const char* doc = nullptr) {
  return {name, &detail::property_entry<C, Body>, nullptr, doc, nullptr};
}

}  // namespace revizer::python
