#pragma once

// Reading the name of an enumeration value or of a union variant, shared by
// the enumeration codec and the three union representations.

#include <cstddef>
#include <span>
#include <string_view>

#include "model/json/codec.h"

namespace revizer::json {

// Position of `name` in `names`, or "unknown variant" listing them.
Result<std::size_t, CodecError> match_name(std::string_view name, std::span<const std::string_view> names);

// An enumeration value: a name as a string, or a one-entry object whose value
// is null (in buffered content also an empty object). Also the tag under the
// tag key of an adjacently tagged union.
Result<std::size_t, CodecError> read_unit_name(Value&& in, Mode mode, std::span<const std::string_view> names);

// The tags a union reads, when they are more than its variant names: every
// accepted tag in the order an "unknown variant" text lists them, the
// variant each one selects, and the number of variants (the bound of an
// index tag).
struct TagNames {
  std::span<const std::string_view> names;
  std::span<const std::size_t> variants;  // parallel to names
  std::size_t count;
};

// A "variant identifier": the tag of an internally tagged union, the first
// element of an adjacently tagged union's array form. A string naming a
// variant; in buffered content also the variant's index.
Result<std::size_t, CodecError> read_variant_identifier(Value&& in, Mode mode,
                                                         std::span<const std::string_view> names);
// The same where some variants answer to more than one tag.
Result<std::size_t, CodecError> read_variant_identifier(Value&& in, Mode mode, const TagNames& tags);

}  // namespace revizer::json
