// The inbound side: the answer message and its events.

#include "schema/wire/adjudicates_response.h"
#include "schema/wire/proto_decoder.h"
#include "schema/wire/struct_decoding.h"

namespace revizer::wire {
namespace {

bool decode_timestamp(ProtoDecoder& d, WireType type, int budget, WireTimestamp& t) {
  return d.message(type, budget, [&](std::uint32_t field, WireType inner, int inner_budget) {
    std::uint64_t bits = 0;
    if (field == 1) {
      if (!d.expect(inner, WireType::Varint) || !d.read_varint(bits)) return d.fail_in("Timestamp", "seconds");
      t.seconds = static_cast<std::int64_t>(bits);
      return true;
    }
    if (field == 2) {
      if (!d.expect(inner, WireType::Varint) || !d.read_varint(bits)) return d.fail_in("Timestamp", "nanos");
      t.nanos = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));  // int32 keeps the low 32 bits
      return true;
    }
    return d.skip_field(inner, field, inner_budget);
  });
}

// The fields of tavimor.revizer.v1.Event, by number, with their names for
// error entries.
constexpr const char* kEventFields[] = {nullptr,    "event_id",   "trajectory_id", "agent_id",
                                        "timestamp", "event_type", "event_name",    "payload"};

bool decode_event_field(ProtoDecoder& d, std::uint32_t field, WireType type, int budget, WireEvent& e,
                        std::vector<json::Member>& payload_entries, bool& has_payload) {
  switch (field) {
    case 1: return d.read_string(type, e.event_id);
    case 2: return d.read_string(type, e.trajectory_id);
    case 3: return d.read_string(type, e.agent_id);
    case 4:
      if (!e.timestamp) e.timestamp.emplace();
      return decode_timestamp(d, type, budget, *e.timestamp);
    case 5: return d.read_string(type, e.event_type);
    case 6: return d.read_string(type, e.event_name);
    case 7:
      // A payload given twice merges into the first: its entries gather
      // until the event ends.
      has_payload = true;
      return d.message(type, budget, [&](std::uint32_t f, WireType t, int b) {
        return decode_struct_field(d, f, t, b, payload_entries);
      });
  }
  return false;
}

bool decode_event(ProtoDecoder& d, WireType type, int budget, std::vector<WireEvent>& events) {
  WireEvent e;
  std::vector<json::Member> payload_entries;
  bool has_payload = false;
  const bool ok = d.message(type, budget, [&](std::uint32_t field, WireType inner, int inner_budget) {
    if (field == 0 || field > 7) return d.skip_field(inner, field, inner_budget);
    return decode_event_field(d, field, inner, inner_budget, e, payload_entries, has_payload) ||
           d.fail_in("Event", kEventFields[field]);
  });
  if (!ok) return false;
  if (has_payload) e.payload = sorted_object(std::move(payload_entries));
  events.push_back(std::move(e));
  return true;
}

}  // namespace

Result<AdjudicatesResponse, common::GrpcStatus> AdjudicatesResponse::decode(std::string_view message) {
  ProtoDecoder d(message);
  AdjudicatesResponse response;
  const bool ok = d.fields(d.buffer_end(), [&](std::uint32_t field, WireType type) {
    if (field != 1) return d.skip_field(type, field, kRecursionLimit);
    return decode_event(d, type, kRecursionLimit, response.events) || d.fail_in("AdjudicatesResponse", "events");
  });
  if (!ok) return fail(d.take_error().to_status());
  return response;
}

}  // namespace revizer::wire
