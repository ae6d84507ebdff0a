#include "model/json/variant_names.h"

namespace revizer::json {

Result<std::size_t, CodecError> match_name(std::string_view name, std::span<const std::string_view> names) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return i;
  return fail(errors::unknown_variant(name, names));
}

Result<std::size_t, CodecError> read_unit_name(Value&& in, Mode mode, std::span<const std::string_view> names) {
  if (in.is_string()) return match_name(in.as_string(), names);
  if (!in.is_object()) return fail(errors::invalid_type(in, "string or map"));
  const Object& o = in.as_object();
  if (o.size() != 1) return fail(errors::invalid_value(in, "map with a single key"));
  const Member& entry = o.members()[0];
  auto index = match_name(entry.key, names);
  if (!index) return index;
  const Value& unit = entry.value;
  const bool empty_object = unit.is_object() && unit.as_object().empty();
  if (!unit.is_null() && !(mode == Mode::Buffered && empty_object))
    return fail(errors::invalid_type(unit, "unit"));
  return index;
}

namespace {

// The index form of a variant identifier, allowed in buffered content only.
Result<std::size_t, CodecError> read_variant_index(const Value& in, Mode mode, std::size_t count) {
  if (mode == Mode::Buffered && in.is_u64()) {
    if (in.as_u64() < count) return static_cast<std::size_t>(in.as_u64());
    return fail(errors::variant_index(in.as_u64(), count));
  }
  return fail(errors::invalid_type(in, "variant identifier"));
}

}  // namespace

Result<std::size_t, CodecError> read_variant_identifier(Value&& in, Mode mode,
                                                         std::span<const std::string_view> names) {
  if (in.is_string()) return match_name(in.as_string(), names);
  return read_variant_index(in, mode, names.size());
}

Result<std::size_t, CodecError> read_variant_identifier(Value&& in, Mode mode, const TagNames& tags) {
  if (!in.is_string()) return read_variant_index(in, mode, tags.count);
  auto position = match_name(in.as_string(), tags.names);
  if (!position) return position;
  return tags.variants[*position];
}

}  // namespace revizer::json
