#pragma once

// Argument converters: a bound argument (or its absence) becomes the native
// value a typed body receives. Plain functions `to_*` convert one present
// object; the `arg::` types add what absence and None mean for a parameter
// and are what callables list in their declarations.

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "python/src/binding/object.h"
#include "python/src/binding/ref.h"

namespace revizer::python {

using TextMap = std::unordered_map<std::string, std::string>;

// Adds the note "while processing '{}'" to the pending exception; a failure
// to add it is dropped and the original exception stays.
void attach_note(const char* param_name) noexcept;

// TypeError "Can't extract `str` to `Vec`".
void str_to_list_error() noexcept;

PyResult<std::string> to_text(PyObject* object);
// Borrowed UTF-8 view, valid while `object` lives.
PyResult<std::string_view> to_text_view(PyObject* object);
PyResult<bool> to_bool(PyObject* object);
PyResult<std::int32_t> to_i32(PyObject* object);
PyResult<std::uint32_t> to_u32(PyObject* object);
PyResult<double> to_f64(PyObject* object);
PyResult<TextMap> to_str_map(PyObject* object);

// Copy of the record of a `C` object; a shared borrow is held while copying
// for classes with a borrow flag.
template <class C>
PyResult<typename C::Record> to_record(PyObject* object) {
  Instance<C>* self = downcast<C>(object);
  if (self == nullptr) {
    type_check_error(object, C::def().name);
    return raised();
  }
  if constexpr (HasBorrowFlag<C>) {
    SharedBorrow<C> borrow(self);
    if (!borrow) return raised();
    return borrow.record();
  } else {
    return self->record;
  }
}

// The record of a `C` object read in place (classes without a borrow flag).
template <class C>
PyResult<const typename C::Record*> to_record_ref(PyObject* object) {
  static_assert(!HasBorrowFlag<C>);
  Instance<C>* self = downcast<C>(object);
  if (self == nullptr) {
    type_check_error(object, C::def().name);
    return raised();
  }
  return &self->record;
}

// The member index of an enumeration object.
template <class E>
PyResult<typename E::Record> to_enum(PyObject* object) {
  return to_record<E>(object);
}

// A sequence (not a str) converted element by element with `convert`.
template <class T, class Convert>
PyResult<std::vector<T>> to_list(PyObject* object, Convert&& convert) {
  if (PyUnicode_Check(object)) {
    str_to_list_error();
    return raised();
  }
  if (!PySequence_Check(object)) {
    type_check_error(object, "Sequence");
    return raised();
  }
  std::vector<T> list;
  const Py_ssize_t hint = PyObject_Size(object);
  if (hint < 0) {
    PyErr_Clear();
  } else {
    try {
      list.reserve(static_cast<std::size_t>(hint));
    } catch (const std::exception&) {
      // Only a sizing hint: a length too large to reserve grows as it goes.
    }
  }
  Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) return raised();
  while (PyObject* item = PyIter_Next(iterator.get())) {
    Ref owned = Ref::steal(item);
    auto value = convert(item);
    if (!value) return raised();
    list.push_back(std::move(*value));
  }
  if (PyErr_Occurred()) return raised();
  return list;
}

namespace arg {

// Every converter type: `type`, `absent_ok` (may the parameter be left out)
// and `convert(object)`, where `object` is null when the argument is absent.

// A required argument converted by one of the `to_*` functions above.
template <auto Convert>
struct Required;
template <class T, PyResult<T> (*Convert)(PyObject*)>
struct Required<Convert> {
  using type = T;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return Convert(object); }
};

using Text = Required<&to_text>;
using TextView = Required<&to_text_view>;
using Bool = Required<&to_bool>;
using I32 = Required<&to_i32>;
using U32 = Required<&to_u32>;
using F64 = Required<&to_f64>;
using StrMap = Required<&to_str_map>;

// A str (or subclass) object, borrowed.
struct Str {
  using type = PyObject*;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) {
    if (PyUnicode_Check(object)) return object;
    type_check_error(object, "str");
    return raised();
  }
};
// Any object, borrowed and untested.
struct Object {
  using type = PyObject*;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return object; }
};
template <class C>
using Record = Required<&to_record<C>>;
template <class C>
using RecordRef = Required<&to_record_ref<C>>;
template <class E>
using Enum = Required<&to_enum<E>>;

// Absent or None: std::nullopt.
template <class Conv>
struct Opt {
  using type = std::optional<typename Conv::type>;
  static constexpr bool absent_ok = true;
  static PyResult<type> convert(PyObject* object) {
    if (object == nullptr || object == Py_None) return type{};
    auto value = Conv::convert(object);
    if (!value) return raised();
    return type{std::move(*value)};
  }
};

// A list whose default shows as `...`: absent gives an empty list, None is
// refused as a non-sequence.
template <class Elem>
struct List {
  using type = std::vector<typename Elem::type>;
  static constexpr bool absent_ok = true;
  static PyResult<type> convert(PyObject* object) {
    if (object == nullptr) return type{};
    return to_list<typename Elem::type>(object, &Elem::convert);
  }
};

// A list whose default is None: absent and None give an empty list.
template <class Elem>
struct OptList {
  using type = std::vector<typename Elem::type>;
  static constexpr bool absent_ok = true;
  static PyResult<type> convert(PyObject* object) {
    if (object == nullptr || object == Py_None) return type{};
    return to_list<typename Elem::type>(object, &Elem::convert);
  }
};

// A required list (no default).
template <class Elem>
struct RequiredList {
  using type = std::vector<typename Elem::type>;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return to_list<typename Elem::type>(object, &Elem::convert); }
};

}  // namespace arg
}  // namespace revizer::python
