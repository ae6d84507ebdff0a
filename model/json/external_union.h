#pragma once

// Externally tagged union: {"VariantName": content}. Every variant carries
// content.
//
//   constexpr json::ExternalUnion<AgentCard> kAgentCard{{"ReActAgentCard", "CodingAgentCard"}};

#include "model/json/union_content.h"
#include "model/json/variant_names.h"

namespace revizer::json {

template <class V>
struct ExternalUnion {
  VariantNames<V> names;

  Value encode(const V& v) const {
    Object o;
    o.append_new(std::string(names[v.index()]), encode_content(v));
    return Value(std::move(o));
  }

  Result<V, CodecError> decode(Value&& in, Mode mode) const {
    if (in.is_string()) {
      // A known bare name still lacks its content.
      if (auto index = match_name(in.as_string(), names); !index) return fail(std::move(index).error());
      return fail(errors::invalid_type_of("unit variant", "newtype variant"));
    }
    if (!in.is_object()) return fail(errors::invalid_type(in, "string or map"));
    if (in.as_object().size() != 1) return fail(errors::invalid_value(in, "map with a single key"));
    Member entry = std::move(std::move(in).take_object().take_members()[0]);
    auto index = match_name(entry.key, names);
    if (!index) return fail(std::move(index).error());
    return decode_content<V>(*index, std::move(entry.value), mode);
  }
};

// A type whose description is an externally tagged union.
template <class V>
concept ExternallyTagged = requires(const V* p) {
  { json_record(p) } -> std::same_as<const ExternalUnion<V>&>;
};

}  // namespace revizer::json
