#pragma once

// Internally tagged union: one object, the tag key first naming the variant,
// then the keys of the variant's record. Every variant's content is a record.
//
//   constexpr json::InternalUnion<McpServerConfigValue> kMcp{
//       "internally tagged enum McpServerConfigValue", "type", {"stdio", "http", "sse", "ws"}};
//
// Reading holds every entry but the tag as buffered content and reads the
// record from it once the tag is known, so a bad tag is reported first.

#include "model/json/record.h"
#include "model/json/union_content.h"
#include "model/json/variant_names.h"

namespace revizer::json {

template <class V>
struct InternalUnion {
  static_assert([]<std::size_t... I>(std::index_sequence<I...>) {
    return (DescribedRecord<std::variant_alternative_t<I, V>> && ...);
  }(std::make_index_sequence<kAlternatives<V>>{}), "every variant of an internally tagged union is a record");

  std::string_view expecting;
  std::string_view tag_key;
  VariantNames<V> names;

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
          auto index = read_variant_identifier(std::move(m.value), mode, names);
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
      auto index = read_variant_identifier(std::move(elements[0]), mode, names);
      if (!index) return fail(std::move(index).error());
      elements.erase(elements.begin());
      return decode_content<V>(*index, Value(std::move(elements)), Mode::Buffered);
    }
    return fail(errors::invalid_type(in, expecting));
  }
};

}  // namespace revizer::json
