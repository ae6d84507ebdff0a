#pragma once

// google.protobuf.Struct / Value / ListValue from the wire, straight into our
// JSON value. A Struct becomes an object whose keys come in ascending byte
// order (a key given twice keeps its last value); numbers follow
// `number_to_json`; a Value with no kind set reads as null.
//
// Repeated message fields merge as protobuf merges them: a struct_value met
// twice in one Value gains the entries of both, a list_value met twice is
// the concatenation, and a map entry's value met twice merges likewise.
// To keep that linear, entries are gathered unsorted and each object is
// sorted once, when the message that holds it ends.

#include <string_view>
#include <vector>

#include "model/json/value.h"
#include "schema/wire/decode_error.h"
#include "schema/wire/proto_decoder.h"
#include "support/result.h"

namespace revizer::wire {

// NaN and the infinities are null; a whole number of magnitude at most 2^63
// is an integer (saturated to the signed 64-bit range, so 2^63 gives
// 9223372036854775807, and -0.0 gives 0); anything else stays a float.
json::Value number_to_json(double x);

// An encoded google.protobuf.Struct message as a JSON object.
Result<json::Object, DecodeError> struct_to_json_object(std::string_view encoded_struct);
// An encoded google.protobuf.Value message as a JSON value.
Result<json::Value, DecodeError> struct_value_to_json(std::string_view encoded_value);

// For the answer decoder: one field of a Struct read with `budget`, its
// entry appended to `entries` unsorted; and the object those entries make
// once the Struct is complete.
bool decode_struct_field(ProtoDecoder& d, std::uint32_t field, WireType type, int budget,
                         std::vector<json::Member>& entries);
json::Object sorted_object(std::vector<json::Member> entries);

}  // namespace revizer::wire
