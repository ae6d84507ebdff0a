#pragma once

// Adjacently tagged union: {"<tag key>": "VariantName", "<content key>": content}.
//
//   constexpr json::AdjacentUnion<Scanned> kScanned{
//       "adjacently tagged enum Scanned", "scan_type", "data", {"Message", "Trajectory", ...}};
//
// Either key order reads the same; content met before its tag is held and
// read as buffered content. Also read from an array [tag, content].

#include "model/json/union_content.h"
#include "model/json/variant_names.h"

namespace revizer::json {

template <class V>
struct AdjacentUnion {
  std::string_view expecting;
  std::string_view tag_key;
  std::string_view content_key;
  VariantNames<V> names;

  Value encode(const V& v) const {
    Object o;
    o.append_new(std::string(tag_key), Value(std::string(names[v.index()])));
    o.append_new(std::string(content_key), encode_content(v));
    return Value(std::move(o));
  }

  Result<V, CodecError> decode(Value&& in, Mode mode) const {
    if (in.is_object()) return decode_object(std::move(in).take_object().take_members(), mode);
    if (in.is_array()) return decode_array(std::move(in).take_array(), mode);
    return fail(errors::invalid_type(in, expecting));
  }

 private:
  Result<V, CodecError> decode_object(std::vector<Member> members, Mode mode) const {
    std::optional<std::size_t> tag;
    std::optional<Value> held;  // content that came before the tag
    for (Member& m : members) {
      if (m.key == tag_key) {
        auto index = read_unit_name(std::move(m.value), mode, names);
        if (!index) return fail(std::move(index).error());
        if (held) return decode_content<V>(*index, std::move(*held), Mode::Buffered);
        tag = *index;
      } else if (m.key == content_key) {
        if (tag) return decode_content<V>(*tag, std::move(m.value), mode);
        held = std::move(m.value);
      }
    }
    return fail(errors::missing_field(tag ? content_key : tag_key));
  }

  Result<V, CodecError> decode_array(Array elements, Mode mode) const {
    // The tag is judged before a missing content is.
    if (elements.empty()) return fail(errors::invalid_length(0, expecting));
    auto index = read_variant_identifier(std::move(elements[0]), mode, names);
    if (!index) return fail(std::move(index).error());
    if (elements.size() < 2) return fail(errors::invalid_length(1, expecting));
    auto content = decode_content<V>(*index, std::move(elements[1]), mode);
    if (content && elements.size() > 2) return fail(errors::surplus_elements(elements.size(), 2, mode));
    return content;
  }
};

}  // namespace revizer::json
