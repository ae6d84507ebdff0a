#pragma once

// Records straight from Python objects: a fast path for `from_dict` beside
// the general one (`py_to_json`, then the record's decoder). It reads plain
// data only (exact dict, list, str, int, float, bool and None) through the
// record's own description (`Record::visit_field`, `Record::has_required`),
// with the maps, boxed values and externally tagged unions inside it, and it
// succeeds only where the general path gives the same record. On
// anything else (another type, a value the decoder would refuse, a kind read
// here no other way, an unknown key with more than a plain scalar) it
// reports "not taken", runs no
// Python code and leaves no error set, and the caller runs the general path
// from the start, which then makes every conversion and error as before.
//
//   R record{};
//   if (read_from_py(data, record)) ...   // else: the general path

#include <Python.h>

#include <array>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "model/json/enum_codec.h"
#include "model/json/external_union.h"
#include "model/json/record_text.h"
#include "model/json/record.h"
#include "python/src/convert/key_cache.h"
#include "python/src/convert/recursion_guard.h"
#include "support/box.h"

namespace revizer::python {

namespace detail {

template <class T>
bool read_py(PyObject* object, T& out);

// Each dict and list takes a recursion level, as on the general path: where
// that path would raise RecursionError, this one steps aside.
inline bool enter(std::optional<RecursionGuard>& guard) {
  guard.emplace();
  if (*guard) return true;
  PyErr_Clear();
  return false;
}

// UTF-8 of a str that is not ASCII; one the codec cannot encode (lone
// surrogates) is the general path's business.
[[gnu::noinline]] inline bool utf8_of_unicode(PyObject* object, std::string_view& out) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return false;
  }
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

// UTF-8 of an exact str: an ASCII str's own bytes, in place.
[[gnu::always_inline]] inline bool utf8_of(PyObject* object, std::string_view& out) {
  if (!PyUnicode_IS_COMPACT_ASCII(object)) return utf8_of_unicode(object, out);
  out = std::string_view(static_cast<const char*>(PyUnicode_DATA(object)),
                         static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)));
  return true;
}

// An exact int that fits `I`, as the general path's I64/U64 value and the
// integer decoder's range check would give it.
template <class I>
bool read_integer(PyObject* object, I& out) {
  if (!PyLong_CheckExact(object)) return false;
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (overflow != 0 || (value == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    return false;  // beyond i64: rare, and the general path knows u64
  }
  if (value < static_cast<long long>(std::numeric_limits<I>::min())) return false;
  if constexpr (sizeof(I) < sizeof(long long) || std::is_signed_v<I>) {
    if (value > static_cast<long long>(std::numeric_limits<I>::max())) return false;
  }
  out = static_cast<I>(value);
  return true;
}

// Scalars whose conversion to a JSON value neither fails nor runs Python
// code; anything else beside a record's fields is left to the general path.
inline bool converts_quietly(PyObject* value) {
  if (value == Py_None || PyBool_Check(value)) return true;
  if (PyFloat_CheckExact(value)) return std::isfinite(PyFloat_AS_DOUBLE(value));
  std::string_view text;
  if (PyUnicode_CheckExact(value)) return utf8_of(value, text);
  std::int64_t integer = 0;
  return read_integer(value, integer);
}

// Calls `visit(key, value)` for each entry of an exact dict, under the
// dict's recursion level; false as soon as a visit returns false.
template <class Visit>
bool read_dict_entries(PyObject* object, Visit&& visit) {
  if (!PyDict_CheckExact(object)) return false;  // array forms, and mappings of other types
  std::optional<RecursionGuard> guard;
  if (!enter(guard)) return false;
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  // No Python code runs in this loop, so the dict cannot change under it.
  while (PyDict_Next(object, &position, &key, &value)) {
    if (!visit(key, value)) return false;
  }
  return true;
}

// The same with the key as text: false also when a key is not an exact str.
template <class Visit>
bool read_entries(PyObject* object, Visit&& visit) {
  return read_dict_entries(object, [&](PyObject* key, PyObject* value) {
    std::string_view key_text;
    return PyUnicode_CheckExact(key) && utf8_of(key, key_text) && visit(key_text, value);
  });
}

// The interned keys of R's fields by position (null where interning failed,
// which only costs the match by text). Each key sits in its own once-set
// slot, so no lock is held while a key is made.
template <class R>
auto interned_field_keys() {
  const auto& description = json_record(static_cast<const R*>(nullptr));
  constexpr std::size_t kFields = std::remove_cvref_t<decltype(description)>::kFields;
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    std::array<PyObject*, kFields> keys{field_key<R, I>(description.template key_at<I>())...};
    if (PyErr_Occurred()) PyErr_Clear();
    return keys;
  }(std::make_index_sequence<kFields>{});
}

template <class R>
bool read_record(PyObject* object, R& out) {
  const auto& description = json_record(static_cast<const R*>(nullptr));
  const auto keys = interned_field_keys<R>();
  std::uint64_t seen = 0;
  std::size_t next = 0;  // where the key after the last match would be, in declaration order
  const bool read_all = read_dict_entries(object, [&](PyObject* key, PyObject* value) {
    // Keys written in code are interned, like the field keys: most match by
    // pointer, first at the position after the last match.
    std::size_t index = next < keys.size() && keys[next] == key ? next : keys.size();
    for (std::size_t i = 0; index == keys.size() && i < keys.size(); ++i)
      if (keys[i] == key) index = i;
    if (index < keys.size()) {
      next = index + 1;
      return description.visit_field_at(out, index, seen, [&](auto& member) { return read_py(value, member); });
    }
    std::string_view key_text;
    if (!PyUnicode_CheckExact(key) || !utf8_of(key, key_text)) return false;
    bool known = false;
    const bool read = description.visit_field(out, key_text, seen, [&](auto& member) {
      known = true;
      return read_py(value, member);
    });
    // The decoder skips an unknown key, but the general path still converts
    // its value: only values that convert quietly may be passed over.
    return read || (!known && converts_quietly(value));
  });
  return read_all && description.has_required(seen);
}

// Only maps with the standard hasher are read here; the keyed hash maps
// (json::HashMap) go through their codec.
template <class T>
inline constexpr bool kIsMap = false;
template <class X>
inline constexpr bool kIsMap<std::map<std::string, X>> = true;
template <class X>
inline constexpr bool kIsMap<std::unordered_map<std::string, X>> = true;

// A map from an exact dict of exact str keys, one entry per key as the map
// decoder keeps them.
template <class M>
bool read_map(PyObject* object, M& out) {
  out.clear();
  return read_entries(object, [&](std::string_view key, PyObject* value) {
    typename M::mapped_type mapped{};
    if (!read_py(value, mapped)) return false;
    out.insert_or_assign(std::string(key), std::move(mapped));
    return true;
  });
}

// An externally tagged union from a one-entry exact dict whose key names a
// variant; every other shape is the general path's (it has the errors).
template <class V>
bool read_external_union(PyObject* object, V& out) {
  if (!PyDict_CheckExact(object) || PyDict_GET_SIZE(object) != 1) return false;
  using Reader = bool (*)(PyObject*, V&);
  static constexpr auto kReaders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Reader, sizeof...(I)>{+[](PyObject* content, V& variant) {
      return read_py(content, variant.template emplace<I>());
    }...};
  }(std::make_index_sequence<json::kAlternatives<V>>{});
  const auto& names = json_record(static_cast<const V*>(nullptr)).names;
  return read_entries(object, [&](std::string_view name, PyObject* content) {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return kReaders[i](content, out);
    return false;
  });
}

// A JSON value from plain data, as `py_to_json` makes it: exact None, bool,
// int (in the 64-bit ranges), finite float, str, list and dict of str keys.
inline bool read_json_value(PyObject* object, json::Value& out) {
  if (object == Py_None) {
    out = json::Value();
  } else if (PyBool_Check(object)) {
    out = json::Value(object == Py_True);
  } else if (PyLong_CheckExact(object)) {
    std::int64_t integer = 0;
    if (read_integer(object, integer)) {
      out = json::Value(integer);
    } else {
      const unsigned long long wide = PyLong_AsUnsignedLongLong(object);
      if (wide == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return false;  // beyond both ranges: the general path's error
      }
      out = json::Value(static_cast<std::uint64_t>(wide));
    }
  } else if (PyFloat_CheckExact(object)) {
    const double d = PyFloat_AS_DOUBLE(object);
    if (!std::isfinite(d)) return false;  // text on the general path
    out = json::Value(d);
  } else if (PyUnicode_CheckExact(object)) {
    std::string_view text;
    if (!utf8_of(object, text)) return false;
    out = json::Value(text);
  } else if (PyList_CheckExact(object)) {
    std::optional<RecursionGuard> guard;
    if (!enter(guard)) return false;
    json::Array& array = out.become_array();
    const Py_ssize_t size = PyList_GET_SIZE(object);
    array.resize(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i)
      if (!read_json_value(PyList_GET_ITEM(object, i), array[static_cast<std::size_t>(i)])) return false;
  } else if (PyDict_CheckExact(object)) {
    json::Object& members = out.become_object();
    members.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(object)));
    return read_entries(object, [&](std::string_view key, PyObject* value) {
      json::Value item;
      if (!read_json_value(value, item)) return false;
      members.append_new(std::string(key), std::move(item));
      return true;
    });
  } else {
    return false;
  }
  return true;
}

template <class T>
concept AdjacentlyTagged = json::Described<T> && json::detail::AdjacentDescription<json::detail::DescriptionOf<T>>;

// Reads `content` as the variant at `index` of `out`.
template <class V>
bool read_variant(std::size_t index, PyObject* content, V& out) {
  using Reader = bool (*)(PyObject*, V&);
  static constexpr auto kReaders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Reader, sizeof...(I)>{+[](PyObject* data, V& variant) {
      return read_py(data, variant.template emplace<I>());
    }...};
  }(std::make_index_sequence<json::kAlternatives<V>>{});
  return kReaders[index](content, out);
}

// An adjacently tagged union from an exact dict of the tag key, naming a
// variant, then the content key: the direct reading. Content before its tag
// is buffered content, and every other shape is the general path's.
template <class V>
bool read_adjacent_union(PyObject* object, V& out) {
  if (!PyDict_CheckExact(object) || PyDict_GET_SIZE(object) != 2) return false;
  const auto& description = json_record(static_cast<const V*>(nullptr));
  std::optional<RecursionGuard> guard;
  if (!enter(guard)) return false;
  Py_ssize_t position = 0;
  PyObject* keys[2] = {};
  PyObject* values[2] = {};
  for (int i = 0; i < 2; ++i) PyDict_Next(object, &position, &keys[i], &values[i]);
  std::string_view tag_key;
  std::string_view content_key;
  std::string_view name;
  if (!PyUnicode_CheckExact(keys[0]) || !utf8_of(keys[0], tag_key) || tag_key != description.tag_key) return false;
  if (!PyUnicode_CheckExact(keys[1]) || !utf8_of(keys[1], content_key) || content_key != description.content_key)
    return false;
  if (!PyUnicode_CheckExact(values[0]) || !utf8_of(values[0], name)) return false;
  for (std::size_t i = 0; i < description.names.size(); ++i)
    if (description.names[i] == name) return read_variant(i, values[1], out);
  return false;
}

// Kinds with a hand-written codec (timestamps) from a plain scalar, through
// that codec; its refusal is the general path's to report.
template <class T>
bool read_through_codec(PyObject* object, T& out) {
  if (PyDict_Check(object) || PyList_Check(object)) return false;
  json::Value scalar;
  if (!read_json_value(object, scalar)) return false;
  return static_cast<bool>(json::Codec<T>::decode(std::move(scalar), out, json::Mode::Direct));
}

// read_py into a value just made by default (a new list element or optional
// value): a record is read in place, not reset first.
template <class T>
bool read_fresh(PyObject* object, T& out) {
  if constexpr (json::DescribedRecord<T>) {
    return read_record(object, out);
  } else {
    return read_py(object, out);
  }
}

template <class T>
bool read_py(PyObject* object, T& out) {
  if constexpr (std::is_same_v<T, std::string>) {
    std::string_view text;
    if (!PyUnicode_CheckExact(object) || !utf8_of(object, text)) return false;
    out.assign(text);
    return true;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (object != Py_True && object != Py_False) return false;
    out = object == Py_True;
    return true;
  } else if constexpr (std::integral<T>) {
    return read_integer(object, out);
  } else if constexpr (std::is_same_v<T, double>) {
    if (PyFloat_CheckExact(object)) {
      out = PyFloat_AS_DOUBLE(object);
      return std::isfinite(out);  // a non-finite float is text on the general path
    }
    std::int64_t integer = 0;
    if (!read_integer(object, integer)) return false;
    out = static_cast<double>(integer);
    return true;
  } else if constexpr (json::kIsOptional<T>) {
    if (object == Py_None) {
      out.reset();
      return true;
    }
    return read_fresh(object, out.emplace());
  } else if constexpr (json::kIsVector<T>) {
    if (!PyList_CheckExact(object)) return false;
    std::optional<RecursionGuard> guard;
    if (!enter(guard)) return false;
    const Py_ssize_t size = PyList_GET_SIZE(object);
    out.clear();
    out.resize(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i)
      if (!read_fresh(PyList_GET_ITEM(object, i), out[static_cast<std::size_t>(i)])) return false;
    return true;
  } else if constexpr (json::DescribedRecord<T>) {
    out = T{};  // as the decoder does: a fresh record, whatever the member held
    return read_record(object, out);
  } else if constexpr (json::kIsBox<T>) {
    if (!out.has_value()) out = T();
    return read_py(object, *out);
  } else if constexpr (kIsMap<T>) {
    return read_map(object, out);
  } else if constexpr (json::ExternallyTagged<T>) {
    return read_external_union(object, out);
  } else if constexpr (std::is_same_v<T, json::Value>) {
    return read_json_value(object, out);
  } else if constexpr (json::JsonEnum<T>) {
    std::string_view name;
    if (!PyUnicode_CheckExact(object) || !utf8_of(object, name)) return false;  // a one-entry dict: the general path
    for (std::size_t i = 0; i < json::kEnumCount<T>; ++i) {
      if (json::kEnumJsonNames<T>[i] == name) {
        out = static_cast<T>(i);
        return true;
      }
    }
    return false;
  } else if constexpr (AdjacentlyTagged<T>) {
    return read_adjacent_union(object, out);
  } else if constexpr (json::Described<T>) {
    return false;  // internally tagged unions: the general path
  } else {
    return read_through_codec(object, out);
  }
}

}  // namespace detail

// True when `object` was read into `out` exactly as the general path would
// read it; false (nothing raised, `out` unspecified) otherwise.
template <json::DescribedRecord R>
bool read_from_py(PyObject* object, R& out) {
  return detail::read_record(object, out);
}

}  // namespace revizer::python
