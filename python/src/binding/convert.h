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
#include <utility>
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
PyResult<std::string_view> to_text_view_general(PyObject* object);

// Borrowed UTF-8 view, valid while `object` lives. A compact ASCII str is
// its own UTF-8 and is read in place without a call.
inline PyResult<std::string_view> to_text_view(PyObject* object) {
  if (PyUnicode_Check(object) && PyUnicode_IS_COMPACT_ASCII(object)) {
    return std::string_view(static_cast<const char*>(PyUnicode_DATA(object)),
                            static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)));
  }
  return to_text_view_general(object);
}
PyResult<bool> to_bool(PyObject* object);
PyResult<std::int32_t> to_i32(PyObject* object);
PyResult<std::uint32_t> to_u32(PyObject* object);
PyResult<double> to_f64(PyObject* object);
PyResult<TextMap> to_str_map(PyObject* object);

// Fills `out` (any map from std::string to std::string) from a dict or dict
// subclass whose keys and values are all str.
template <class M>
bool fill_str_map(PyObject* object, M& out) {
  if (!PyDict_Check(object)) {
    type_check_error(object, "dict");
    return false;
  }
  if constexpr (requires { out.reserve(std::size_t{}); }) out.reserve(static_cast<std::size_t>(PyDict_Size(object)));
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(object, &pos, &key, &value)) {
    // Held while they are read, as a conversion may run code that changes the dict.
    Ref key_ref = Ref::borrow(key);
    Ref value_ref = Ref::borrow(value);
    auto key_text = to_text_view(key);
    if (!key_text) return false;
    auto value_text = to_text_view(value);
    if (!value_text) return false;
    out.insert_or_assign(std::string(*key_text), std::string(*value_text));
  }
  return true;
}

// Runs `read(record)` on the record of a `C` object, under a shared borrow
// for classes with a borrow flag. False with the error set when `object` is
// not a `C` or is exclusively borrowed.
template <class C, class Read>
bool with_record_of(PyObject* object, Read&& read) {
  Instance<C>* self = downcast<C>(object);
  if (self == nullptr) {
    type_check_error(object, C::def().name);
    return false;
  }
  if constexpr (HasBorrowFlag<C>) {
    SharedBorrow<C> borrow(self);
    if (!borrow) return false;
    read(borrow.record());
  } else {
    read(std::as_const(self->record));
  }
  return true;
}

// Copy of the record of a `C` object.
template <class C>
PyResult<typename C::Record> to_record(PyObject* object) {
  std::optional<typename C::Record> copy;
  if (!with_record_of<C>(object, [&](const typename C::Record& record) { copy.emplace(record); })) return raised();
  return std::move(*copy);
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

// Stores the converted `object` (null when absent) in `out`: in place when
// the converter can, else by moving its result in.
template <class Conv, class T>
bool convert_into(PyObject* object, T& out) {
  if constexpr (requires(PyObject* o, T& t) { Conv::into(o, t); }) {
    return Conv::into(object, out);
  } else {
    auto value = Conv::convert(object);
    if (!value) return false;
    out = std::move(*value);
    return true;
  }
}

// Appends the converted `object` to `out`.
template <class Conv, class T>
bool append_converted(PyObject* object, std::vector<T>& out) {
  if constexpr (requires(PyObject* o, std::vector<T>& v) { Conv::append(o, v); }) {
    return Conv::append(object, out);
  } else {
    auto value = Conv::convert(object);
    if (!value) return false;
    out.push_back(std::move(*value));
    return true;
  }
}

// Reserves for `hint` elements; a hint too large to reserve is ignored.
template <class T>
void reserve_hint(std::vector<T>& out, Py_ssize_t hint) {
  try {
    out.reserve(out.size() + static_cast<std::size_t>(hint));
  } catch (const std::exception&) {
    // Only a sizing hint: the list grows as it goes.
  }
}

// Appends the elements of a sequence (not a str), each converted by `Elem`.
template <class Elem, class T>
bool fill_list(PyObject* object, std::vector<T>& out) {
  if (PyUnicode_Check(object)) {
    str_to_list_error();
    return false;
  }
  if (PyList_CheckExact(object) || PyTuple_CheckExact(object)) {
    // Read by index as their iterators do, the length again at each step: a
    // conversion may run code that changes the list. Each item is held while
    // it is converted for the same reason.
    reserve_hint(out, PySequence_Fast_GET_SIZE(object));
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(object); ++i) {
      Ref item = Ref::borrow(PySequence_Fast_GET_ITEM(object, i));
      if (!append_converted<Elem>(item.get(), out)) return false;
    }
    return true;
  }
  if (!PySequence_Check(object)) {
    type_check_error(object, "Sequence");
    return false;
  }
  const Py_ssize_t hint = PyObject_Size(object);
  if (hint < 0) {
    if (!discard_exception()) return false;  // a failed __len__ is only a missing hint
  } else {
    reserve_hint(out, hint);
  }
  Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) return false;
  while (PyObject* item = PyIter_Next(iterator.get())) {
    Ref owned = Ref::steal(item);
    if (!append_converted<Elem>(item, out)) return false;
  }
  return !PyErr_Occurred();
}

template <class Elem>
PyResult<std::vector<typename Elem::type>> to_list(PyObject* object) {
  std::vector<typename Elem::type> list;
  if (!fill_list<Elem>(object, list)) return raised();
  return list;
}

// Whether converter `Conv` accepts None (its `none_ok`; false without one).
template <class Conv>
constexpr bool takes_none() {
  if constexpr (requires { Conv::none_ok; }) {
    return Conv::none_ok;
  } else {
    return false;
  }
}

namespace arg {

// Every converter type: `type`, `absent_ok` (may the parameter be left out)
// and `convert(object)`, where `object` is null when the argument is absent.
// Optional shortcuts, used by `convert_into` and `append_converted` below:
// `into(object, type& out)` stores straight into an existing value (a record
// member being built), `append(object, std::vector<type>& out)` adds a list
// element without a temporary. Both return false with the error set.

// A required argument converted by one of the `to_*` functions above.
template <auto Convert>
struct Required;
template <class T, PyResult<T> (*Convert)(PyObject*)>
struct Required<Convert> {
  using type = T;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return Convert(object); }
};

// A str as UTF-8 text, copied once into its destination.
struct Text {
  using type = std::string;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return to_text(object); }
  static bool into(PyObject* object, type& out) {
    auto view = to_text_view(object);
    if (!view) return false;
    out.assign(*view);
    return true;
  }
  static bool append(PyObject* object, std::vector<type>& out) {
    auto view = to_text_view(object);
    if (!view) return false;
    out.emplace_back(*view);
    return true;
  }
};

using TextView = Required<&to_text_view>;
using Bool = Required<&to_bool>;
using I32 = Required<&to_i32>;
using U32 = Required<&to_u32>;
using F64 = Required<&to_f64>;

// A dict of str to str, into any such map (hashed or key-ordered).
struct StrMap {
  using type = TextMap;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return to_str_map(object); }
  template <class M>
  static bool into(PyObject* object, M& out) {
    out.clear();
    return fill_str_map(object, out);
  }
};

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
// A dict (or dict subclass) object, borrowed; its entries are the body's.
struct Dict {
  using type = PyObject*;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) {
    if (PyDict_Check(object)) return object;
    type_check_error(object, "dict");
    return raised();
  }
};
// Any object, borrowed and untested.
struct Object {
  using type = PyObject*;
  static constexpr bool absent_ok = false;
  static constexpr bool none_ok = true;
  static PyResult<type> convert(PyObject* object) { return object; }
};
// A copy of the record of a `C` object, made straight from the object.
template <class C>
struct Record {
  using type = typename C::Record;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return to_record<C>(object); }
  static bool into(PyObject* object, type& out) {
    return with_record_of<C>(object, [&](const type& record) { out = record; });
  }
  static bool append(PyObject* object, std::vector<type>& out) {
    return with_record_of<C>(object, [&](const type& record) { out.push_back(record); });
  }
};
template <class C>
using RecordRef = Required<&to_record_ref<C>>;
template <class E>
using Enum = Required<&to_enum<E>>;

// Wrappers that give a parameter a default also say whether they take None
// for it (`none_ok`); the class descriptions check that against the default
// word the text signature shows ("None" takes it, "..." refuses it).

// Absent or None: std::nullopt.
template <class Conv>
struct Opt {
  using type = std::optional<typename Conv::type>;
  static constexpr bool absent_ok = true;
  static constexpr bool none_ok = true;
  static PyResult<type> convert(PyObject* object) {
    if (object == nullptr || object == Py_None) return type{};
    auto value = Conv::convert(object);
    if (!value) return raised();
    return type{std::move(*value)};
  }
  template <class T>
  static bool into(PyObject* object, std::optional<T>& out) {
    if (object == nullptr || object == Py_None) {
      out.reset();
      return true;
    }
    return convert_into<Conv>(object, out.emplace());
  }
};

// Absent: the member keeps the value its record is built with (its default
// initializer; a typed body gets a value-initialised one). None too when
// `TakesNone`, else None goes to `Conv`, which refuses it unless it takes
// None itself.
template <class Conv, bool TakesNone>
struct KeepDefault {
  using type = typename Conv::type;
  static constexpr bool absent_ok = true;
  static constexpr bool none_ok = TakesNone || takes_none<Conv>();
  static bool keeps(PyObject* object) { return object == nullptr || (TakesNone && object == Py_None); }
  static PyResult<type> convert(PyObject* object) {
    if (keeps(object)) return type{};
    return Conv::convert(object);
  }
  template <class T>
  static bool into(PyObject* object, T& out) {
    return keeps(object) || convert_into<Conv>(object, out);
  }
};

// For `flag=False`: absent keeps the default, None is refused.
template <class Conv>
using Defaulted = KeepDefault<Conv, false>;

// For `explanation=None` stored as an empty text, `mode=None` as the
// record's default member: absent or None keeps the default.
template <class Conv>
using NoneDefaulted = KeepDefault<Conv, true>;

// A list whose default shows as `...`: absent gives an empty list, None is
// refused as a non-sequence.
template <class Elem>
struct List {
  using type = std::vector<typename Elem::type>;
  static constexpr bool absent_ok = true;
  static constexpr bool none_ok = false;
  static PyResult<type> convert(PyObject* object) {
    if (object == nullptr) return type{};
    return to_list<Elem>(object);
  }
  static bool into(PyObject* object, type& out) {
    out.clear();
    return object == nullptr || fill_list<Elem>(object, out);
  }
};

// A list whose default is None: absent and None give an empty list.
template <class Elem>
struct OptList {
  using type = std::vector<typename Elem::type>;
  static constexpr bool absent_ok = true;
  static constexpr bool none_ok = true;
  static PyResult<type> convert(PyObject* object) {
    if (object == nullptr || object == Py_None) return type{};
    return to_list<Elem>(object);
  }
  static bool into(PyObject* object, type& out) {
    out.clear();
    return object == nullptr || object == Py_None || fill_list<Elem>(object, out);
  }
};

// A required list (no default).
template <class Elem>
struct RequiredList {
  using type = std::vector<typename Elem::type>;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return to_list<Elem>(object); }
  static bool into(PyObject* object, type& out) {
    out.clear();
    return fill_list<Elem>(object, out);
  }
};

}  // namespace arg
}  // namespace revizer::python
