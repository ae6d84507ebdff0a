#pragma once

// Internally tagged union: one object, the tag key first naming the variant,
// then the keys of the variant's record. Every variant's content is a record.
//
//   constexpr json::InternalUnion<Shape> kShape{
//       "internally tagged enum Shape", "type", {"circle", "square"}};
//
// A variant may answer to more tags than the one it is written with: list
// every tag read, in the order an "unknown variant" text names them, with
// the variant each selects (the written tags must be among them):
//
//   constexpr json::InternalUnion<McpServerConfigValue, 6> kMcp{
//       "internally tagged enum McpServerConfigValue", "type", {"stdio", "http", "sse", "ws"},
//       {{{"stdio", 0}, {"http", 1}, {"streamable-http", 1}, {"sse", 2}, {"websocket", 3}, {"ws", 3}}}};
//
// Reading holds every entry but the tag as buffered content and reads the
// record from it once the tag is known, so a bad tag is reported first. In
// buffered content the tag may also be the variant's index.

#include <array>
#include <cstddef>
#include <optional>

#include "model/json/record.h"
#include "model/json/union_content.h"
#include "model/json/variant_names.h"

namespace revizer::json {

// One tag read by an internally tagged union, and the variant it selects.
struct ReadTag {
  std::string_view name;
  std::size_t variant;
};

template <class V, std::size_t kReadTags = kAlternatives<V>>
class InternalUnion {
  static_assert([]<std::size_t... I>(std::index_sequence<I...>) {
    return (DescribedRecord<std::variant_alternative_t<I, V>> && ...);
  }(std::make_index_sequence<kAlternatives<V>>{}), "every variant of an internally tagged union is a record");

 public:
  // Each variant read under its written tag alone.
  consteval InternalUnion(std::string_view expecting, std::string_view tag, VariantNames<V> written)
    requires(kReadTags == kAlternatives<V>)
      : tag_key(tag), names(written), expecting_(expecting), read_names_(written) {
    for (std::size_t i = 0; i < kReadTags; ++i) read_variants_[i] = i;
  }

  consteval InternalUnion(std::string_view expecting, std::string_view tag, VariantNames<V> written,
                          std::array<ReadTag, kReadTags> read)
      : tag_key(tag), names(written), expecting_(expecting) {
    for (std::size_t i = 0; i < kReadTags; ++i) {
      // Not constant expressions, so a bad table fails the build here.
      if (read[i].variant >= kAlternatives<V>) throw "a read tag selects no variant";
      read_names_[i] = read[i].name;
      read_variants_[i] = read[i].variant;
    }
    for (std::size_t v = 0; v < kAlternatives<V>; ++v) {
      bool listed = false;
      for (std::size_t i = 0; i < kReadTags; ++i)
        listed = listed || (read_names_[i] == names[v] && read_variants_[i] == v);
      if (!listed) throw "a written tag must also be read";
    }
  }

  std::string_view expecting() const { return expecting_; }
  // The key that holds the tag, and each variant's written tag.
  std::string_view tag_key;
  VariantNames<V> names;
  // The variant that a tag given as a string selects, if any.
  std::optional<std::size_t> variant_of_tag(std::string_view tag) const {
    for (std::size_t i = 0; i < kReadTags; ++i)
      if (read_names_[i] == tag) return read_variants_[i];
    return std::nullopt;
  }

  Value encode(const V& v) const {
    Object o;
    o.append_new(std::string(tag_key), Value(std::string(names[v.index()])));
    Value content = encode_content(v);
    for (Member& m : std::move(content.as_object()).take_members()) o.append_new(std::move(m.key), std::move(m.value));
    return Value(std::move(o));
  }

  Result<V, CodecError> decode(Value&& in, Mode mode) const {
    if (in.is_object()) {
      std::optional<std::size_t> tag;
      Object held;
      for (Member& m : std::move(in).take_object().take_members()) {
        if (m.key == tag_key) {
          auto index = read_tag(std::move(m.value), mode);
          if (!index) return fail(std::move(index).error());
          tag = *index;
        } else {
          held.append_new(std::move(m.key), std::move(m.value));
        }
      }
      if (!tag) return fail(errors::missing_field(tag_key));
      return decode_content<V>(*tag, Value(std::move(held)), Mode::Buffered);
    }
    if (in.is_array()) {
      Array elements = std::move(in).take_array();
      if (elements.empty()) return fail(errors::missing_field(tag_key));
      auto index = read_tag(std::move(elements[0]), mode);
      if (!index) return fail(std::move(index).error());
      elements.erase(elements.begin());
      return decode_content<V>(*index, Value(std::move(elements)), Mode::Buffered);
    }
    return fail(errors::invalid_type(in, expecting_));
  }

 private:
  Result<std::size_t, CodecError> read_tag(Value&& in, Mode mode) const {
    return read_variant_identifier(std::move(in), mode, TagNames{read_names_, read_variants_, kAlternatives<V>});
  }

  std::string_view expecting_;
  std::array<std::string_view, kReadTags> read_names_{};
  std::array<std::size_t, kReadTags> read_variants_{};
};

}  // namespace revizer::json
