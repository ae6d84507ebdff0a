#pragma once

// Records straight from JSON text: a fast path beside the tree path
// (`parse`, then `decode<R>`). It walks the text with the reader's own
// scanner (text_reader.h), so syntax, strings, numbers and nesting follow
// one set of rules, and fills the record through its description (the
// fields of json::Record, the union descriptions, the enumeration tables)
// with no tree in between: strings go straight into the record's members,
// JSON-valued fields are built by the scanner as the tree path builds them.
//
// It succeeds only where the tree path reads the same record, and the whole
// text has been checked as strictly as `parse` checks it. On anything else
// it returns false, and the caller runs the tree path from the start, which
// also makes every error text and position. "Anything else" is: a syntax or
// codec error; a known key met twice (the tree keeps the last value at the
// first key's place); content or fields before their union tag (held
// content reads by other rules); a record or union in array form; an
// enumeration or union tag in object form.
//
//   Event event;                                    // freshly made
//   if (!json::read_text(text, event, "raw")) ...   // the tree path

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "model/json/enum_codec.h"
#include "model/json/internal_union.h"
#include "model/json/record.h"
#include "model/json/record_text.h"
#include "model/json/text_reader.h"
#include "model/json/union_content.h"
#include "support/box.h"

namespace revizer::json {

namespace pull {

template <class T>
bool read(TextReader& in, T& out);

// An object's keys one by one: `entry(key)` reads the value that follows
// (or skips it) and returns false to give up.
template <class Entry>
bool read_members(TextReader& in, Entry&& entry) {
  if (!in.open('{')) return false;
  bool closed = false;
  for (bool first = true;; first = false) {
    std::string_view key;
    if (!in.next_member(first, closed, key)) return false;
    if (closed) break;
    if (!entry(key)) return false;
  }
  in.close();
  return true;
}

// One entry of a record's object, its key read: the field's value, or an
// unknown key's value checked and dropped.
template <class R>
bool read_field(TextReader& in, R& out, std::string_view key, std::uint64_t& seen) {
  const auto& description = json_record(static_cast<const R*>(nullptr));
  const std::uint64_t before = seen;
  bool read_one = true;
  const bool known = description.visit_field(out, key, seen, [&](auto& member) {
    // The key view dies with the next string read, so no later key is
    // compared with it: the visit always ends the match. A key met before
    // would be read by the tree with its last value.
    read_one = seen != before && read(in, member);
    return true;
  });
  return known ? read_one : in.skip_value();
}

// Where the entry at the cursor names field I or later, byte for byte and
// not yet seen, reads it. Keys mostly come in declaration order, so trying
// the fields after the last one read spares most keys the scan and the
// search (read_field). `matched` tells whether a field's key was taken.
template <class R, std::size_t... I>
bool read_next_field(TextReader& in, R& out, std::size_t& next, std::uint64_t& seen, bool& matched,
                     std::index_sequence<I...>) {
  const auto& description = json_record(static_cast<const R*>(nullptr));
  bool ok = true;
  matched = ((I >= next && in.key_is(description.template field<I>().key)
                  ? (next = I + 1, ok = (seen & (std::uint64_t{1} << I)) == 0 && in.colon() &&
                                        read(in, out.*description.template field<I>().member),
                     seen |= std::uint64_t{1} << I, true)
                  : false) ||
             ...);
  return ok;
}

// A record from an object. `refused` names a key at which to give up (the
// event envelope's "raw", which normalisation rewrites the envelope for).
template <class R>
bool read_record(TextReader& in, R& out, std::string_view refused = {}) {
  const auto& description = json_record(static_cast<const R*>(nullptr));
  constexpr auto kIndices = std::make_index_sequence<std::remove_cvref_t<decltype(description)>::kFields>{};
  if (!in.open('{')) return false;
  std::uint64_t seen = 0;
  std::size_t next = 0;
  bool closed = false;
  for (bool first = true;; first = false) {
    if (!in.next_key(first, closed)) return false;
    if (closed) break;
    bool matched = false;
    if (!read_next_field(in, out, next, seen, matched, kIndices)) return false;
    if (matched) continue;
    std::string_view key;
    if (!in.key(key) || (!refused.empty() && key == refused) || !read_field(in, out, key, seen)) return false;
  }
  in.close();
  return description.has_required(seen);
}

// The position of `name` among `names`, or false.
template <class Names>
bool find_name(std::string_view name, const Names& names, std::size_t& index) {
  for (index = 0; index < names.size(); ++index)
    if (names[index] == name) return true;
  return false;
}

// Reads the content of the variant at `index` into `out`.
template <class V>
bool read_variant(std::size_t index, TextReader& in, V& out) {
  using Reader = bool (*)(TextReader&, V&);
  static constexpr auto kReaders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Reader, sizeof...(I)>{
        +[](TextReader& text, V& variant) { return read(text, variant.template emplace<I>()); }...};
  }(std::make_index_sequence<kAlternatives<V>>{});
  return kReaders[index](in, out);
}

// {"<tag key>": "Name", "<content key>": content} with the tag first and
// other keys anywhere.
template <class V>
bool read_adjacent(TextReader& in, V& out) {
  const auto& description = json_record(static_cast<const V*>(nullptr));
  std::optional<std::size_t> tag;
  bool content = false;
  const bool read_all = read_members(in, [&](std::string_view key) {
    if (key == description.tag_key) {
      std::string_view name;
      std::size_t index = 0;
      if (tag || !in.string_value(name) || !find_name(name, description.names, index)) return false;
      tag = index;
      return true;
    }
    if (key == description.content_key) {
      if (!tag || content) return false;  // before its tag it would be held content
      content = true;
      return read_variant(*tag, in, out);
    }
    return in.skip_value();
  });
  return read_all && content;
}

// {"Name": content}, exactly one key.
template <class V>
bool read_external(TextReader& in, V& out) {
  const auto& description = json_record(static_cast<const V*>(nullptr));
  bool read_one = false;
  return read_members(in, [&](std::string_view key) {
    std::size_t index = 0;
    if (read_one || !find_name(key, description.names, index)) return false;
    read_one = true;
    return read_variant(index, in, out);
  }) && read_one;
}

// An internally tagged union whose description can name the variant of a
// tag (InternalUnion).
template <class D>
concept InternalTags = requires(const D& d, std::string_view tag) {
  { d.tag_key } -> std::convertible_to<std::string_view>;
  { d.variant_of_tag(tag) } -> std::same_as<std::optional<std::size_t>>;
};

// {"<tag key>": "tag", fields of the variant's record...} with the tag
// first. The tree holds the fields and reads them as held content, which
// differs from a direct reading only in forms this reader refuses anyway
// (enumerations and tags in object form, unions and records in array form).
template <class V>
bool read_internal(TextReader& in, V& out) {
  struct Variant {
    void (*emplace)(V&);
    bool (*field)(TextReader&, V&, std::string_view, std::uint64_t&);
    bool (*complete)(std::uint64_t);
  };
  static constexpr auto kVariants = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Variant, sizeof...(I)>{Variant{
        +[](V& v) { v.template emplace<I>(); },
        +[](TextReader& text, V& v, std::string_view key, std::uint64_t& seen) {
          return read_field(text, std::get<I>(v), key, seen);
        },
        +[](std::uint64_t seen) {
          using R = std::variant_alternative_t<I, V>;
          return json_record(static_cast<const R*>(nullptr)).has_required(seen);
        }}...};
  }(std::make_index_sequence<kAlternatives<V>>{});
  const auto& description = json_record(static_cast<const V*>(nullptr));
  std::optional<std::size_t> variant;
  std::uint64_t seen = 0;
  const bool read_all = read_members(in, [&](std::string_view key) {
    const bool is_tag = key == description.tag_key;
    if (variant) return !is_tag && kVariants[*variant].field(in, out, key, seen);
    // Fields before the tag are held until it comes: the tree's business.
    std::string_view name;
    if (!is_tag || !in.string_value(name) || !(variant = description.variant_of_tag(name))) return false;
    kVariants[*variant].emplace(out);
    return true;
  });
  return read_all && variant && kVariants[*variant].complete(seen);
}

template <class T>
bool read(TextReader& in, T& out) {
  if constexpr (std::is_same_v<T, std::string>) {
    return in.string_value(out);
  } else if constexpr (std::is_same_v<T, Value>) {
    return in.value(out);
  } else if constexpr (kIsOptional<T>) {
    char c = 0;
    if (!in.peek(c)) return false;
    if (c == 'n') {
      out.reset();
      return in.skip_value();  // the scanner checks that it is null
    }
    return read(in, out.emplace());
  } else if constexpr (kIsVector<T>) {
    if (!in.open('[')) return false;
    out.clear();
    bool closed = false;
    for (bool first = true;; first = false) {
      if (!in.next_element(first, closed)) return false;
      if (closed) break;
      // Lists in records are short: room for a few saves the first steps
      // of growth.
      if (first) out.reserve(4);
      if (!read(in, out.emplace_back())) return false;
    }
    in.close();
    return true;
  } else if constexpr (kIsBox<T>) {
    if (!out.has_value()) out = T();
    return read(in, *out);
  } else if constexpr (kIsStringMap<T>) {
    // A repeated key keeps its last value, as in the tree.
    out.clear();
    return read_members(in, [&](std::string_view key) {
      std::string owned(key);
      typename T::mapped_type mapped{};
      if (!read(in, mapped)) return false;
      out.insert_or_assign(std::move(owned), std::move(mapped));
      return true;
    });
  } else if constexpr (JsonEnum<T>) {
    std::string_view name;
    std::size_t index = 0;
    if (!in.string_value(name) || !find_name(name, kEnumJsonNames<T>, index)) return false;
    out = static_cast<T>(index);
    return true;
  } else if constexpr (DescribedRecord<T>) {
    return read_record(in, out);
  } else if constexpr (Described<T>) {
    using D = detail::DescriptionOf<T>;
    if constexpr (detail::AdjacentDescription<D>) {
      return read_adjacent(in, out);
    } else if constexpr (detail::ExternalDescription<D>) {
      return read_external(in, out);
    } else if constexpr (InternalTags<D>) {
      return read_internal(in, out);
    } else {
      return false;
    }
  } else {
    // Scalars (booleans, numbers, hand-written kinds such as timestamps):
    // the scanner's value, judged by the kind's own codec; a string goes
    // to the codec's reader of string text where it has one.
    char c = 0;
    if (!in.peek(c) || c == '[' || c == '{') return false;
    if constexpr (requires(std::string_view text) { Codec<T>::decode_string(text, out); }) {
      std::string_view text;
      if (c == '"') return in.string_value(text) && static_cast<bool>(Codec<T>::decode_string(text, out));
    }
    Value scalar;
    return in.value(scalar) && static_cast<bool>(Codec<T>::decode(std::move(scalar), out, Mode::Direct));
  }
}

}  // namespace pull

// Reads the whole of `text` as an R into `out`, a freshly made record, when
// the tree path would read exactly that; false otherwise (`out` is then
// unspecified). A top-level key `refused` also gives up.
template <DescribedRecord R>
bool read_text(std::string_view text, R& out, std::string_view refused = {}) {
  TextReader in(text);
  return pull::read_record(in, out, refused) && in.at_end();
}

}  // namespace revizer::json
