#pragma once

// The enumeration classes: one table per enumeration (attribute names and
// value texts in member order, the doc, the error text) drives the class,
// its shared member objects and its three Python forms: `str()` the value
// text, `repr()` "Class.MEMBER", `int()` the member index. An object holds
// the model's own enumeration value (`E`, enumerators 0, 1, 2, ...), so a
// record field of type `E` goes in and out of Python unchanged.
//
// Declaring one, keyed by the model enumeration:
//   template <> struct EnumSpec<result::Decision> {
//     static constexpr EnumDef def{"Decision", "Decision(value)\n--\n\nPolicy evaluation decision.",
//                                  kMembersOf<result::Decision>, "Invalid decision: '%U'. Must be ...", false};
//   };
//   using Decision = EnumClass<result::Decision>;
// where the members come from the model's table of the enumeration
// (python/src/enums/enum_members.h). A property of type `E` returns the
// shared member object (py_value.h); `arg::Enum<Decision>` converts an
// argument to `E`.

#include <Python.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <type_traits>
#include <utility>

#include "python/src/binding/constructor.h"

namespace revizer::python {

struct EnumMember {
  const char* attr;   // "ALLOW"
  const char* value;  // "allow"
};

struct EnumDef {
  const char* name;
  const char* doc;
  std::span<const EnumMember> members;
  const char* invalid_format;  // ValueError text, `%U` standing for the caller's text
  bool hyphens_as_underscores;
};

// The shared member objects of one enumeration: one set-once cell each.
struct MemberCells {
  explicit MemberCells(std::size_t count) : objects(std::make_unique<std::atomic<PyObject*>[]>(count)) {}
  std::mutex mutex;  // serialises the first creation; waited on detached
  std::unique_ptr<std::atomic<PyObject*>[]> objects;
};

namespace enum_impl {

// Bodies shared by all enumerations; see enum_class.cpp.
PyObject* lookup_member(PyTypeObject* type, MemberCells& cells, std::uint8_t index,
                        PyObject* (*make)(PyTypeObject*, std::uint8_t));
// The matched member index, or -1 with ValueError set.
int parse(const EnumDef& def, PyObject* text);
PyObject* repr(const EnumDef& def, std::uint8_t index);
PyObject* str(const EnumDef& def, std::uint8_t index);
PyObject* to_int(std::uint8_t index);
// `==`/`!=` against a member of the same class (its index in `other`) or,
// otherwise, anything with `__index__`; NotImplemented for the rest.
PyObject* compare(std::uint8_t index, bool other_is_member, std::int64_t other, PyObject* other_object, int op);

}  // namespace enum_impl

// The Python side of model enumeration `E`: `static constexpr EnumDef def`.
template <class E>
struct EnumSpec;

template <class E>
struct EnumClass {
  static_assert(std::is_enum_v<E>);
  using Record = E;
  static constexpr bool kBorrowFlag = true;
  static constexpr const EnumDef& D = EnumSpec<E>::def;
  static constexpr std::size_t kCount = D.members.size();
  static constexpr auto kNew = signature(D.name, "__new__", D.doc, pos("value"));

  static const ClassDef& def();

  // New reference to the shared member object, or null with the error set.
  static PyObject* member(E value) {
    const auto index = static_cast<std::uint8_t>(value);
    PyTypeObject* type = type_object<EnumClass>();
    if (type == nullptr) return nullptr;
    PyObject* ready = cells().objects[index].load(std::memory_order_acquire);
    if (ready != nullptr) return Py_NewRef(ready);
    return enum_impl::lookup_member(type, cells(), index, &make_object);
  }

 private:
  static MemberCells& cells() {
    static MemberCells* made = new MemberCells(kCount);  // process-wide, never released
    return *made;
  }
  static std::uint8_t index_of(Record value) { return static_cast<std::uint8_t>(value); }
  static PyObject* make_object(PyTypeObject* type, std::uint8_t index) {
    return create_object_of_type<EnumClass>(type, static_cast<Record>(index));
  }
  static PyObject* new_impl(PyTypeObject* type, PyObject* value) {
    const int index = enum_impl::parse(D, value);
    if (index < 0) return nullptr;
    return create_object_of_type<EnumClass>(type, static_cast<Record>(index));
  }
  static PyObject* repr_impl(const Record& value) { return enum_impl::repr(D, index_of(value)); }
  static PyObject* str_impl(const Record& value) { return enum_impl::str(D, index_of(value)); }
  static PyObject* int_impl(const Record& value) { return enum_impl::to_int(index_of(value)); }
  static PyObject* richcompare_impl(const Record& value, PyObject* other, int op) {
    Instance<EnumClass>* same = downcast<EnumClass>(other);
    if (same == nullptr) return enum_impl::compare(index_of(value), false, 0, other, op);
    SharedBorrow<EnumClass> borrow(same);
    if (!borrow) return nullptr;
    return enum_impl::compare(index_of(value), true, index_of(borrow.record()), other, op);
  }
  template <std::size_t I>
  static PyObject* produce() {
    return member(static_cast<Record>(I));
  }
  template <std::size_t... I>
  static constexpr std::array<ClassAttr, kCount> make_attrs(std::index_sequence<I...>) {
    return {ClassAttr{D.members[I].attr, &produce<I>}...};
  }
};

template <class E>
const ClassDef& EnumClass<E>::def() {
  static const PyType_Slot slots[] = {
      constructor_slot<EnumClass, kNew, &new_impl, arg::Str>(),
      repr_slot<EnumClass, &repr_impl>(),
      str_slot<EnumClass, &str_impl>(),
      int_slot<EnumClass, &int_impl>(),
      richcompare_slot<EnumClass, &richcompare_impl>(),
  };
  static constexpr std::array<ClassAttr, kCount> attrs = make_attrs(std::make_index_sequence<kCount>{});
  static const ClassDef def{
      D.name, D.doc, sizeof(Instance<EnumClass>), &release_object<EnumClass>, slots, nullptr, nullptr, attrs,
  };
  return def;
}

}  // namespace revizer::python
