#pragma once

// Every text a record codec reports is made here, off the hot path. Codec
// errors carry no position, key or index: they are returned unchanged by
// every enclosing decoder.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/json/codec_error.h"
#include "model/json/value.h"

namespace revizer::json {

// Buffered content is a value held back before its union tag was known; a
// few texts and tolerances differ there (see the three rules in the codec).
enum class Mode : std::uint8_t { Direct, Buffered };

namespace errors {

// "null", "boolean `true`", "integer `-3`", "floating point `2.0`",
// "string \"a\\\"b\"", "sequence", "map".
std::string describe(const Value& found);

// "invalid type: {found}, expected {expected}"
CodecError invalid_type(const Value& found, std::string_view expected);
// The same with a description given as text ("unit variant").
CodecError invalid_type_of(std::string_view found_description, std::string_view expected);
// "invalid value: {found}, expected {expected}"
CodecError invalid_value(const Value& found, std::string_view expected);
// "invalid length {n}, expected {expected}"
CodecError invalid_length(std::size_t n, std::string_view expected);
// A record's array form ended at `position`: "... expected struct X with N elements".
CodecError missing_element(std::size_t position, std::string_view record, std::size_t fields);
// Elements left after `read` of them were used: "fewer elements in array",
// or in buffered content "{read} elements in sequence".
CodecError surplus_elements(std::size_t length, std::size_t read, Mode mode);
// "missing field `{key}`"
CodecError missing_field(std::string_view key);
// "unknown variant `{name}`, expected {names}"
CodecError unknown_variant(std::string_view name, std::span<const std::string_view> names);
// "invalid value: integer `{index}`, expected variant index 0 <= i < {count}"
CodecError variant_index(std::uint64_t index, std::size_t count);

}  // namespace errors
}  // namespace revizer::json
