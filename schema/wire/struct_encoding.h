#pragma once

// Our JSON value written as google.protobuf.Struct / Value / ListValue, with
// no Struct tree in between. JSON null becomes NULL_VALUE, booleans bool,
// every number the nearest double (integers beyond 2^53 lose precision),
// strings string, arrays a ListValue, objects a Struct whose entries go out
// sorted by key in ascending byte order.
//
// Every nested message needs its length before its bytes, so encoding runs
// in two passes: `plan_struct` walks the object once in output order,
// recording the body size of every nested container (and the sorted order of
// every object's keys) in a plan; `write_struct` then writes the bytes into a
// buffer of exactly the planned size, reading the plan in the same order.
// Both passes are iterative: any nesting depth is fine.

#include <cstdint>
#include <string>
#include <vector>

#include "model/json/value.h"

namespace revizer::wire {

using EncodePlan = std::vector<std::uint64_t>;

// The encoded size of the Struct's body (its entries), without any key or
// length in front. Needs no plan.
std::uint64_t struct_body_size(const json::Object& object);

// Appends the plan of `object` to `plan` and returns the body size.
std::uint64_t plan_struct(const json::Object& object, EncodePlan& plan);

// Writes the body planned by `plan_struct`, advancing `plan` past its part.
// `out` must have room for the planned size; returns the end of the bytes.
char* write_struct(const json::Object& object, const std::uint64_t*& plan, char* out);

// The encoded google.protobuf.Value message of a JSON value (a JSON object
// becomes its struct_value).
std::string json_to_struct_value(const json::Value& value);

}  // namespace revizer::wire
