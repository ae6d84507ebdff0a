#pragma once

// Values straight into Python objects, the second writer beside the JSON
// codec. Records walk the same description (`Record::for_each_written`), so
// `to_py(x)` equals `json_to_py(Codec<T>::encode(x))`: the same keys in the
// same order and the same kinds of value (a non-finite float is None), only
// without building and destroying the JSON value in between. Unions take
// their description's form (adjacently, internally or externally tagged);
// a hand-written codec that gives its string's text alone (`encode_text`,
// as timestamps do) is written from that text; other kinds with no direct
// form here take the JSON path.
//
// New reference, or null with the error set.

#include <Python.h>

#include <array>
#include <atomic>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <map>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "model/json/enum_codec.h"
#include "model/json/record.h"
#include "python/src/binding/py_value.h"
#include "python/src/binding/ref.h"
#include "python/src/binding/text.h"
#include "python/src/convert/json_to_py.h"
#include "python/src/convert/key_cache.h"
#include "core/strip_asset_content.h"
#include "model/json/record_text.h"
#include "support/box.h"

namespace revizer::python {

// `Strip`: write what the value's JSON form gives after strip_asset_content
// (strip_asset_content.h), without building that form: a record whose
// description has the five identifying keys leaves its content keys out, a
// string map with those keys as entries loses its content entries as an
// object would, and a JSON value holding asset content is stripped in a copy.
// `caches`: the str caches of this conversion (key_cache.h).
template <class T, bool Strip = false>
PyObject* to_py(const T& x, StrCaches* caches);

template <class T, bool Strip = false>
PyObject* to_py(const T& x) {
  return to_py<T, Strip>(x, str_caches());
}

namespace detail {



// The interned texts of a union: its keys and its variant names.
template <class V, std::size_t I>
PyObject* union_text(std::string_view text) {
  static std::atomic<PyObject*> slot{nullptr};
  return static_key(slot, text);
}

template <class V>
PyObject* variant_name(std::size_t index, std::string_view name) {
  using Name = PyObject* (*)(std::string_view);
  static constexpr auto kNames = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Name, sizeof...(I)>{&union_text<V, I + 2>...};
  }(std::make_index_sequence<std::variant_size_v<V>>{});
  PyObject* text = kNames[index](name);
  return text == nullptr ? nullptr : Py_NewRef(text);
}

// The JSON name of an enumeration value, interned once per value like the
// record keys: the same few names come back on every call.
template <json::JsonEnum E>
PyObject* enum_name(E e) {
  static std::array<std::atomic<PyObject*>, json::kEnumCount<E>> slots{};
  PyObject* text = static_key(slots[static_cast<std::size_t>(e)], json::json_name(e));
  return text == nullptr ? nullptr : Py_NewRef(text);
}

template <class D>
bool is_asset_description(const D& description) {
  static const bool asset = [&] {
    int found = 0;
    for (std::string_view k : {"scope", "kind", "name", "path", "content_sha256"}) found += description.has_key(k);
    return found == 5;
  }();
  return asset;
}

// A dict sized for every field up front: growing one entry at a time
// reallocates its table for records past five keys, which costs more than
// the spare slots of a record that leaves some keys out.
inline PyObject* new_dict_for(std::size_t keys) {
  return _PyDict_NewPresized(static_cast<Py_ssize_t>(keys));
}

// The record's fields into `dict`, after whatever it holds already.
template <bool Strip, class R>
bool fill_record(PyObject* dict, const R& r, StrCaches* caches) {
  const auto& description = json_record(static_cast<const R*>(nullptr));
  const bool drops_content = Strip && is_asset_description(description);
  return description.for_each_written(
      r, [&]<std::size_t I>(std::integral_constant<std::size_t, I>, std::string_view key, const auto& member) {
        if (drops_content && core::is_asset_content_key(key)) return true;
        PyObject* key_object = field_key<R, I>(key);
        if (key_object == nullptr) return false;
        Ref value = Ref::steal(to_py<std::decay_t<decltype(member)>, Strip>(member, caches));
        return value && PyDict_SetItem(dict, key_object, value.get()) == 0;
      });
}

// The number of keys a record's dict form has at most; 0 for other values.
template <class T>
constexpr std::size_t fields_of() {
  if constexpr (json::DescribedRecord<T>) {
    return std::remove_cvref_t<decltype(json_record(static_cast<const T*>(nullptr)))>::kFields;
  } else {
    return 0;
  }
}

template <bool Strip, class R>
PyObject* record_to_py(const R& r, StrCaches* caches) {
  Ref dict = Ref::steal(new_dict_for(fields_of<R>()));
  if (!dict || !fill_record<Strip>(dict.get(), r, caches)) return nullptr;
  return dict.release();
}

// What an internally tagged union's variant holds, unboxed.
template <class T>
const T* content_record(const T& content) {
  return &content;
}
template <class T>
const T* content_record(const Box<T>& content) {
  return &*content;
}

template <bool Strip, class V>
PyObject* content_to_py(const V& v, StrCaches* caches) {
  return std::visit(
      [caches](const auto& content) { return to_py<std::decay_t<decltype(content)>, Strip>(content, caches); }, v);
}

// {"tag": "Name", "content": ...} and {"Name": ...}; an internally tagged
// union's record gets its tag as the first key.
template <bool Strip, class V>
PyObject* union_to_py(const V& v, StrCaches* caches) {
  const auto& description = json_record(static_cast<const V*>(nullptr));
  using D = json::detail::DescriptionOf<V>;
  const std::size_t index = v.index();
  Ref name = Ref::steal(variant_name<V>(index, description.names[index]));
  if (!name) return nullptr;
  if constexpr (json::detail::ExternalDescription<D>) {
    Ref content = Ref::steal(content_to_py<Strip>(v, caches));
    if (!content) return nullptr;
    Ref dict = Ref::steal(PyDict_New());
    if (!dict || PyDict_SetItem(dict.get(), name.get(), content.get()) < 0) return nullptr;
    return dict.release();
  } else {
    PyObject* tag_key = union_text<V, 0>(description.tag_key);
    if (tag_key == nullptr) return nullptr;
    if constexpr (json::detail::AdjacentDescription<D>) {
      Ref dict = Ref::steal(PyDict_New());
      if (!dict || PyDict_SetItem(dict.get(), tag_key, name.get()) < 0) return nullptr;
      Ref content = Ref::steal(content_to_py<Strip>(v, caches));
      if (!content) return nullptr;
      PyObject* content_key = union_text<V, 1>(description.content_key);
      if (content_key == nullptr || PyDict_SetItem(dict.get(), content_key, content.get()) < 0) return nullptr;
      return dict.release();
    } else {
      // The record's keys go straight after the tag: no dict of its own to
      // build, merge and free.
      return std::visit(
          [&](const auto& content) -> PyObject* {
            using Content = std::remove_cvref_t<decltype(*content_record(content))>;
            Ref dict = Ref::steal(new_dict_for(1 + fields_of<Content>()));
            if (!dict || PyDict_SetItem(dict.get(), tag_key, name.get()) < 0) return nullptr;
            if constexpr (json::DescribedRecord<Content>) {
              if (!fill_record<Strip>(dict.get(), *content_record(content), caches)) return nullptr;
            } else {
              Ref merged = Ref::steal(to_py<std::decay_t<decltype(content)>, Strip>(content, caches));
              if (!merged || PyDict_Update(dict.get(), merged.get()) < 0) return nullptr;
            }
            return dict.release();
          },
          v);
    }
  }
}

template <bool Strip>
PyObject* value_to_py(const json::Value& value, StrCaches* caches) {
  if constexpr (Strip) {
    if ((value.is_object() || value.is_array()) && core::holds_asset_content(value)) {
      json::Value stripped = value;
      core::strip_asset_content(stripped);
      return json_to_py(stripped, caches);
    }
  }
  return json_to_py(value, caches);
}

// A kind whose JSON form is always a string, which its codec writes
// without building the JSON value (`encode_text(x).view()`).
template <class T>
concept TextEncoded = requires(const T& x) {
  { json::Codec<T>::encode_text(x).view() } -> std::convertible_to<std::string_view>;
};

template <class T>
concept UnionValue = json::Described<T> && (json::detail::AdjacentDescription<json::detail::DescriptionOf<T>> ||
                                             json::detail::InternalDescription<json::detail::DescriptionOf<T>> ||
                                             json::detail::ExternalDescription<json::detail::DescriptionOf<T>>);

}  // namespace detail

template <class T, bool Strip>
PyObject* to_py(const T& x, StrCaches* caches) {
  auto element = [caches](const auto& item) { return to_py<std::decay_t<decltype(item)>, Strip>(item, caches); };
  if constexpr (std::is_same_v<T, std::string>) {
    return short_str(caches, x);
  } else if constexpr (detail::Scalar<T>) {
    return py_scalar(x);
  } else if constexpr (std::is_same_v<T, double>) {
    if (!std::isfinite(x)) Py_RETURN_NONE;
    return PyFloat_FromDouble(x);
  } else if constexpr (std::is_same_v<T, json::Value>) {
    return detail::value_to_py<Strip>(x, caches);
  } else if constexpr (json::kIsOptional<T>) {
    if (!x) Py_RETURN_NONE;
    return to_py<typename T::value_type, Strip>(*x, caches);
  } else if constexpr (json::kIsBox<T>) {
    return to_py<std::remove_cvref_t<decltype(*x)>, Strip>(*x, caches);
  } else if constexpr (json::kIsVector<T>) {
    return py_list_of(x, element);
  } else if constexpr (json::kIsStringMap<T>) {
    const auto key = [caches](const std::string& text) { return dict_key(caches, text); };
    if constexpr (Strip) {
      if (auto entries = core::stripped_entries(x)) {
        const auto entry = [](const auto* e) -> const auto& { return *e; };
        return py_dict_of(*entries | std::views::transform(entry), key, element);
      }
    }
    return py_dict_of(x, key, element);
  } else if constexpr (json::JsonEnum<T>) {
    return detail::enum_name(x);
  } else if constexpr (json::DescribedRecord<T>) {
    return detail::record_to_py<Strip>(x, caches);
  } else if constexpr (detail::UnionValue<T>) {
    return detail::union_to_py<Strip>(x, caches);
  } else if constexpr (detail::TextEncoded<T>) {
    return short_str(caches, json::Codec<T>::encode_text(x).view());
  } else {
    return detail::value_to_py<Strip>(json::Codec<T>::encode(x), caches);
  }
}

}  // namespace revizer::python
