#pragma once

// One trajectory event as it crosses the wire (the message `Event` of the
// service's package; "WireEvent" here, to tell it from the domain envelope):
// five header texts, the timestamp and the whole envelope's JSON form as a
// google.protobuf.Struct. In an answer the payload holds the Adjudicated
// record of that event instead.
//
// The payload is held as our JSON object: outbound it is encoded straight
// from it (keys sorted by byte order on the way out), inbound the decoder
// builds it directly, keys already in ascending byte order.

#include <cstdint>
#include <optional>
#include <string>

#include "model/json/value.h"

namespace revizer::wire {

// google.protobuf.Timestamp.
struct WireTimestamp {
  std::int64_t seconds = 0;
  std::int32_t nanos = 0;

  bool operator==(const WireTimestamp&) const = default;
};

// The wire timestamp of a UTC instant given as its date (whole days since
// 1970-01-01, negative before), the seconds of that day (0 to 86399) and the
// nanoseconds. A leap second is held as second 59 with a nanosecond count of
// 1,000,000,000 or more; that count goes out unchanged, as the service
// expects, even though it lies outside the usual 0..999,999,999 range.
constexpr WireTimestamp wire_timestamp(std::int64_t days_since_epoch, std::uint32_t seconds_of_day,
                                       std::uint32_t nanos) {
  return {days_since_epoch * 86400 + static_cast<std::int64_t>(seconds_of_day), static_cast<std::int32_t>(nanos)};
}

struct WireEvent {
  std::string event_id;
  std::string trajectory_id;
  std::string agent_id;
  std::optional<WireTimestamp> timestamp;
  std::string event_type;  // "action", "observation", "control" or "state"
  std::string event_name;  // "tool_call" ... "snapshot"
  std::optional<json::Object> payload;

  // The protobuf length of the message, without the key and length prefix
  // that it takes inside a request.
  std::uint64_t encoded_len() const;

  friend bool operator==(const WireEvent& a, const WireEvent& b);
};

}  // namespace revizer::wire
