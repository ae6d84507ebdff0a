#pragma once

// Constructors. One row in a class's slot table gives the class both ways in:
// `__new__` (tp_new: reached with a tuple and a dict, e.g. by an explicit
// `Class.__new__(Class, ...)`) and a vectorcall entry on the type, which binds
// the interpreter's argument vector directly and so skips `type.__call__`
// packing keywords into a dict. Both bind by the same table and convert the
// same way, so values and error texts agree.
//
// Two kinds:
//   constructor_slot<C, kNew, &new_impl, Conv...>()
//       converts every argument, then calls the typed body
//       `new_impl(PyTypeObject*, Conv::type...)`, which makes the object;
//   a class description's constructor (class_desc.h)
//       allocates the object with a default record and converts each argument
//       straight into its member: no temporaries, each text copied once.

#include <Python.h>

#include <type_traits>
#include <utility>

#include "python/src/binding/members.h"

namespace revizer::python {

namespace detail {

// `Build(type, slots)` makes the object from the bound slots.
template <const auto& Sig, auto Build>
PyObject* new_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* const* names = interned_names<Sig>();
    if (names == nullptr) return nullptr;
    SlotArray<Sig> slots{};
    static constexpr SignatureView view = Sig.view();
    if (!bind_tuple(view, names, args, kwargs, slots.data())) return nullptr;
    return Build(type, slots.data());
  });
}

template <const auto& Sig, auto Build>
PyObject* vectorcall_entry(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* const* names = interned_names<Sig>();
    if (names == nullptr) return nullptr;
    SlotArray<Sig> slots{};
    static constexpr SignatureView view = Sig.view();
    if (!bind_vector(view, names, args, PyVectorcall_NARGS(nargsf), kwnames, slots.data())) return nullptr;
    return Build(reinterpret_cast<PyTypeObject*>(callable), slots.data());
  });
}

template <const auto& Sig, auto Body, class... Conv>
PyObject* build_by_body(PyTypeObject* type, PyObject* const* slots) {
  return convert_and_call<Sig, Conv...>(slots, Body, type);
}

template <auto Build, const auto& Sig>
inline constexpr ConstructorEntries kConstructorEntries{&new_entry<Sig, Build>, &vectorcall_entry<Sig, Build>};

}  // namespace detail

// `__new__` by a typed body: Body(PyTypeObject* type, Conv::type...) -> new
// reference.
template <class C, const auto& Sig, auto Body, class... Conv>
PyType_Slot constructor_slot() {
  static_assert(detail::table_accepts_converters<Sig, Conv...>(),
                "a parameter without default needs a converter that accepts absence");
  constexpr auto build = &detail::build_by_body<Sig, Body, Conv...>;
  return {kConstructorSlot, const_cast<ConstructorEntries*>(&detail::kConstructorEntries<build, Sig>)};
}

}  // namespace revizer::python
