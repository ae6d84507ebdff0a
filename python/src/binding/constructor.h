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
//   record_constructor_slot<C, kNew, Field<&Record::member, Conv>...>()
//       allocates the object with a default record and converts each argument
//       straight into its member: no temporaries, each text copied once.
//       Members not listed keep their default.

#include <Python.h>

#include <concepts>
#include <type_traits>
#include <utility>

#include "python/src/binding/members.h"

namespace revizer::python {

// One constructor parameter stored in one record member.
template <auto Member, class Conv>
struct Field {
  static constexpr auto member = Member;
  using conv = Conv;
};

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

// Converts the slots into their members in table order; the first failure
// gets its note and ends the conversion.
template <const auto& Sig, class... F, class Record, std::size_t... I>
bool convert_fields(PyObject* const* slots, Record& record, std::index_sequence<I...>) {
  return ([&] {
    if (convert_into<typename F::conv>(slots[I], record.*F::member)) return true;
    attach_note(Sig.params[I].name);
    return false;
  }() && ...);
}

template <class C, const auto& Sig, class... F>
PyObject* build_in_place(PyTypeObject* type, PyObject* const* slots) {
  // A failure leaves the record partly filled; releasing the object destroys
  // it like any other.
  Ref object = Ref::steal(emplace_object<C>(type));
  if (!object) return nullptr;
  if (!convert_fields<Sig, F...>(slots, instance<C>(object.get())->record, std::index_sequence_for<F...>{})) {
    return nullptr;
  }
  return object.release();
}

template <auto Build, const auto& Sig>
inline constexpr ConstructorEntries kConstructorEntries{&new_entry<Sig, Build>, &vectorcall_entry<Sig, Build>};

template <class Record, class F>
constexpr bool is_member_of() {
  using Pointer = std::remove_const_t<decltype(F::member)>;
  if constexpr (std::is_member_object_pointer_v<Pointer>) {
    using Member = std::remove_cvref_t<decltype(std::declval<Record&>().*F::member)>;
    return std::is_same_v<Pointer, Member Record::*> && std::is_assignable_v<Member&, typename F::conv::type>;
  } else {
    return false;
  }
}

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

// `__new__` building the record in place: one Field per parameter, in table
// order.
template <class C, const auto& Sig, class... F>
PyType_Slot record_constructor_slot() {
  using Record = typename C::Record;
  static_assert(std::default_initializable<Record>, "the record is built from its default");
  static_assert((detail::is_member_of<Record, F>() && ...),
                "each field names a member of the record that its converter's value can be assigned to");
  static_assert(detail::table_accepts_converters<Sig, typename F::conv...>(),
                "a parameter without default needs a converter that accepts absence");
  constexpr auto build = &detail::build_in_place<C, Sig, F...>;
  return {kConstructorSlot, const_cast<ConstructorEntries*>(&detail::kConstructorEntries<build, Sig>)};
}

}  // namespace revizer::python
