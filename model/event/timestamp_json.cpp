#include "model/event/timestamp_json.h"

#include <string>

#include "model/json/codec_errors.h"

namespace revizer::event {

json::Value timestamp_to_json(const Timestamp& t) { return json::Value(format_rfc3339(t)); }

Result<Timestamp, json::CodecError> timestamp_from_json(const json::Value& value) {
  if (!value.is_string()) return fail(json::errors::invalid_type(value, "an RFC 3339 formatted date and time string"));
  auto t = parse_rfc3339(value.as_string());
  if (!t) return fail(json::CodecError{std::string(message(t.error()))});
  return *t;
}

}  // namespace revizer::event
