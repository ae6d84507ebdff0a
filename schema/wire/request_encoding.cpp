// The outbound side: WireEvent sizes and the request encoder.

#include <cassert>
#include <cstddef>
#include <limits>

#include "schema/wire/adjudicates_request.h"
#include "schema/wire/struct_encoding.h"
#include "schema/wire/varint.h"

namespace revizer::wire {
namespace {

// tavimor.revizer.v1.Event
constexpr std::uint8_t kEventId = key_byte(1, WireType::LengthDelimited);
constexpr std::uint8_t kTrajectoryId = key_byte(2, WireType::LengthDelimited);
constexpr std::uint8_t kAgentId = key_byte(3, WireType::LengthDelimited);
constexpr std::uint8_t kTimestamp = key_byte(4, WireType::LengthDelimited);
constexpr std::uint8_t kEventType = key_byte(5, WireType::LengthDelimited);
constexpr std::uint8_t kEventName = key_byte(6, WireType::LengthDelimited);
constexpr std::uint8_t kPayload = key_byte(7, WireType::LengthDelimited);
// google.protobuf.Timestamp
constexpr std::uint8_t kSeconds = key_byte(1, WireType::Varint);
constexpr std::uint8_t kNanos = key_byte(2, WireType::Varint);
// AdjudicatesRequest.events
constexpr std::uint8_t kEvents = key_byte(1, WireType::LengthDelimited);

constexpr std::size_t kGrpcPrefix = 5;

// Negative int32 and int64 values travel as their 64-bit two's complement.
std::uint64_t varint_bits(std::int64_t v) { return static_cast<std::uint64_t>(v); }

// proto3 leaves an empty string out.
std::uint64_t text_field_size(const std::string& text) { return text.empty() ? 0 : delimited_size(text.size()); }

char* write_text_field(char* out, std::uint8_t key, const std::string& text) {
  return text.empty() ? out : write_delimited(out, key, text.data(), text.size());
}

std::uint64_t timestamp_body_size(const WireTimestamp& t) {
  return (t.seconds != 0 ? 1 + varint_size(varint_bits(t.seconds)) : 0) +
         (t.nanos != 0 ? 1 + varint_size(varint_bits(t.nanos)) : 0);
}

// The event's size once its payload's body size is known.
std::uint64_t event_body_size(const WireEvent& e, std::uint64_t payload_body) {
  std::uint64_t size = text_field_size(e.event_id) + text_field_size(e.trajectory_id) + text_field_size(e.agent_id) +
                       text_field_size(e.event_type) + text_field_size(e.event_name);
  // The two messages go out whenever present, even when empty.
  if (e.timestamp) size += delimited_size(timestamp_body_size(*e.timestamp));
  if (e.payload) size += delimited_size(payload_body);
  return size;
}

char* write_event(const WireEvent& e, std::uint64_t payload_body, const std::uint64_t*& plan, char* out) {
  out = write_text_field(out, kEventId, e.event_id);
  out = write_text_field(out, kTrajectoryId, e.trajectory_id);
  out = write_text_field(out, kAgentId, e.agent_id);
  if (e.timestamp) {
    const WireTimestamp& t = *e.timestamp;
    out = write_byte(out, kTimestamp);
    out = write_varint(out, timestamp_body_size(t));
    if (t.seconds != 0) out = write_varint(write_byte(out, kSeconds), varint_bits(t.seconds));
    if (t.nanos != 0) out = write_varint(write_byte(out, kNanos), varint_bits(t.nanos));
  }
  out = write_text_field(out, kEventType, e.event_type);
  out = write_text_field(out, kEventName, e.event_name);
  if (e.payload) {
    out = write_byte(out, kPayload);
    out = write_varint(out, payload_body);
    out = write_struct(*e.payload, plan, out);
  }
  return out;
}

}  // namespace

std::uint64_t WireEvent::encoded_len() const { return event_body_size(*this, payload ? struct_body_size(*payload) : 0); }

std::uint64_t AdjudicatesRequest::event_cost(const WireEvent& event) { return delimited_size(event.encoded_len()); }

Status<common::GrpcStatus> AdjudicatesRequest::encode(std::string& out, std::uint64_t limit) const {
  // Sizes first: every payload's plan, then each event's length.
  EncodePlan plan;
  std::vector<std::uint64_t> payload_bodies(events.size(), 0);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].payload) payload_bodies[i] = plan_struct(*events[i].payload, plan);
    total += delimited_size(event_body_size(events[i], payload_bodies[i]));
  }
  // The prefix has four bytes for the length, whatever limit the caller set.
  if (total > limit || total > std::numeric_limits<std::uint32_t>::max())
    return fail(encoded_message_too_large(total, limit));

  // Then one buffer, written front to back; the prefix last.
  const std::size_t start = out.size();
  out.resize(start + kGrpcPrefix + total);
  char* p = out.data() + start + kGrpcPrefix;
  const std::uint64_t* cursor = plan.data();
  for (std::size_t i = 0; i < events.size(); ++i) {
    p = write_byte(p, kEvents);
    p = write_varint(p, event_body_size(events[i], payload_bodies[i]));
    p = write_event(events[i], payload_bodies[i], cursor, p);
  }
  assert(p == out.data() + out.size());
  assert(cursor == plan.data() + plan.size());
  char* prefix = out.data() + start;
  prefix[0] = 0;  // not compressed
  for (int i = 0; i < 4; ++i) prefix[1 + i] = static_cast<char>(total >> (8 * (3 - i)));
  return Ok{};
}

}  // namespace revizer::wire
