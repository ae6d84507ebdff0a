#pragma once

// The timestamp's place in the event's JSON form: an RFC 3339 string ending
// in "Z". A reading error carries the parser's text unchanged.

#include "model/event/timestamp.h"
#include "model/json/codec.h"
#include "model/json/codec_error.h"
#include "model/json/value.h"
#include "support/result.h"

namespace revizer::event {

json::Value timestamp_to_json(const Timestamp& t);

// A JSON string read by parse_rfc3339; any other value fails with
// "invalid type: {}, expected an RFC 3339 formatted date and time string".
Result<Timestamp, json::CodecError> timestamp_from_json(const json::Value& value);

}  // namespace revizer::event

// A timestamp field of a record description.
template <>
struct revizer::json::Codec<revizer::event::Timestamp> {
  static Value encode(const event::Timestamp& t) { return event::timestamp_to_json(t); }
  // The text of the JSON string alone, for writers that need no Value.
  static event::TimestampText encode_text(const event::Timestamp& t) { return event::rfc3339_text(t); }
  static Decoded decode(Value&& in, event::Timestamp& out, Mode) {
    auto t = event::timestamp_from_json(in);
    if (!t) return fail(std::move(t).error());
    out = *t;
    return Ok{};
  }
  // From the text of a JSON string, for readers that hold no Value.
  static Decoded decode_string(std::string_view text, event::Timestamp& out) {
    auto t = event::parse_rfc3339(text);
    if (!t) return fail(CodecError{std::string(event::message(t.error()))});
    out = *t;
    return Ok{};
  }
};
