#pragma once

// Values straight into JSON text, the third writer beside the codec and the
// Python dict sink: `write_text(x, out)` appends exactly the text of
// `write(encode(x))`, walking the same descriptions, without building the
// JSON value in between. Kinds without a direct form here (hand-written
// codecs such as timestamps) are encoded and written.
//
// A filter sees the text as it is made: `drops_field(description, key)`
// leaves a written field out (asked only of records for which
// `may_drop_fields(description)` holds, once per record), and
// `write_value(value, sink)` writes the JSON values held by records, and
// `map_entries(map)`, where the filter has it, may give the entries of a
// string map to write in place of all of them in the map's order (pointers
// to the map's entries; nothing to keep the map as it is). The default
// filter changes nothing.
//
// The text goes to a TextSink (text_sink.h); keys, with their quotes and
// colon, are copied in one piece.

#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

#include "model/json/codec.h"
#include "model/json/enum_codec.h"
#include "model/json/kinds.h"
#include "model/json/record.h"
#include "model/json/text_sink.h"
#include "model/json/writer.h"
#include "support/box.h"

namespace revizer::json {

struct KeepAll {
  template <class Description>
  static constexpr bool may_drop_fields(const Description&) {
    return false;
  }
  template <class Description>
  bool drops_field(const Description&, std::string_view) const {
    return false;
  }
  void write_value(const Value& value, TextSink& out) const { write_to(value, out); }
};

template <class T, class Filter = KeepAll>
void write_text(const T& x, TextSink& out, const Filter& filter = {});

// The same, appended to a string.
template <class T, class Filter = KeepAll>
void write_text(const T& x, std::string& out, const Filter& filter = {}) {
  TextSink sink;
  write_text(x, sink, filter);
  out.append(sink.view());
}

namespace detail {

// Keys and variant names of descriptions are plain identifiers, which JSON
// needs no escape for: they are copied as they are.
inline void write_name(std::string_view name, TextSink& out) {
  char* o = out.room(name.size() + 2);
  *o++ = '"';
  copy_bytes(o, name.data(), name.size());
  o += name.size();
  *o++ = '"';
  out.commit(o);
}
// `"key":`, after a comma unless it is the object's first.
inline void write_key(std::string_view key, TextSink& out, bool first = true) {
  char* o = out.room(key.size() + 4);
  if (!first) *o++ = ',';
  *o++ = '"';
  copy_bytes(o, key.data(), key.size());
  o += key.size();
  *o++ = '"';
  *o++ = ':';
  out.commit(o);
}


template <class T>
using DescriptionOf = std::remove_cvref_t<decltype(json_record(static_cast<const T*>(nullptr)))>;

// The union representations, told apart by their keys.
template <class D>
concept AdjacentDescription = requires(const D& d) {
  d.tag_key;
  d.content_key;
  d.names;
};
template <class D>
concept InternalDescription = !AdjacentDescription<D> && requires(const D& d) {
  d.tag_key;
  d.names;
};
template <class D>
concept ExternalDescription = !AdjacentDescription<D> && !InternalDescription<D> && requires(const D& d) { d.names; };

template <class V, class Filter>
void write_content(const V& v, TextSink& out, const Filter& filter) {
  std::visit([&](const auto& content) { write_text(content, out, filter); }, v);
}

template <class T, class Filter>
void write_described(const T& x, TextSink& out, const Filter& filter) {
  const auto& description = json_record(static_cast<const T*>(nullptr));
  using D = DescriptionOf<T>;
  if constexpr (kIsRecordDescription<D>) {
    out.put('{');
    bool first = true;
    const bool may_drop = filter.may_drop_fields(description);
    description.for_each_written(x, [&](auto, std::string_view key, const auto& member) {
      if (may_drop && filter.drops_field(description, key)) return true;
      write_key(key, out, first);
      first = false;
      write_text(member, out, filter);
      return true;
    });
    out.put('}');
  } else if constexpr (AdjacentDescription<D>) {
    out.put('{');
    write_key(description.tag_key, out);
    write_name(description.names[x.index()], out);
    write_key(description.content_key, out, false);
    write_content(x, out, filter);
    out.put('}');
  } else if constexpr (ExternalDescription<D>) {
    out.put('{');
    write_key(description.names[x.index()], out);
    write_content(x, out, filter);
    out.put('}');
  } else if constexpr (InternalDescription<D>) {
    // The tag, then the record's own keys in the same object.
    out.put('{');
    write_key(description.tag_key, out);
    write_name(description.names[x.index()], out);
    const std::size_t brace = out.size();
    write_content(x, out, filter);
    if (out.size() - brace == 2) {
      out.truncate(brace);  // "{}": no keys of its own
      out.put('}');
    } else {
      out.data()[brace] = ',';
    }
  } else {
    filter.write_value(json::encode(x), out);
  }
}

}  // namespace detail

template <class T, class Filter>
void write_text(const T& x, TextSink& out, const Filter& filter) {
  if constexpr (std::is_same_v<T, std::string>) {
    write_string_to(x, out);
  } else if constexpr (std::is_same_v<T, bool>) {
    x ? out.append("true", 4) : out.append("false", 5);
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    if (x < 0) {
      write_number_to(static_cast<std::int64_t>(x), out);
    } else {
      write_number_to(static_cast<std::uint64_t>(x), out);
    }
  } else if constexpr (std::is_integral_v<T>) {
    write_number_to(static_cast<std::uint64_t>(x), out);
  } else if constexpr (std::is_same_v<T, double>) {
    if (std::isfinite(x)) {
      write_number_to(x, out);
    } else {
      out.append("null", 4);  // as the codec writes it
    }
  } else if constexpr (std::is_same_v<T, Value>) {
    filter.write_value(x, out);
  } else if constexpr (kIsOptional<T>) {
    if (x) {
      write_text(*x, out, filter);
    } else {
      out.append("null", 4);
    }
  } else if constexpr (kIsBox<T>) {
    write_text(*x, out, filter);
  } else if constexpr (kIsVector<T>) {
    out.put('[');
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (i > 0) out.put(',');
      write_text(x[i], out, filter);
    }
    out.put(']');
  } else if constexpr (kIsStringMap<T>) {
    out.put('{');
    bool first = true;
    const auto entry = [&](const auto& key, const auto& item) {
      if (!first) out.put(',');
      first = false;
      write_string_to(key, out);
      out.put(':');
      write_text(item, out, filter);
    };
    if constexpr (requires { filter.map_entries(x); }) {
      if (auto entries = filter.map_entries(x)) {
        for (const auto* e : *entries) entry(e->first, e->second);
        out.put('}');
        return;
      }
    }
    for (const auto& [key, item] : x) entry(key, item);
    out.put('}');
  } else if constexpr (JsonEnum<T>) {
    detail::write_name(json_name(x), out);
  } else if constexpr (Described<T>) {
    detail::write_described(x, out, filter);
  } else {
    filter.write_value(Codec<T>::encode(x), out);
  }
}

}  // namespace revizer::json
