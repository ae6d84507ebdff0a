#include "revizer/client/adjudicates/event_adjudicates.h"

#include <memory>
#include <optional>
#include <utility>

#include "model/event/event_record.h"
#include "model/json/codec.h"
#include "model/result/adjudicated_record.h"
#include "revizer/client/adjudicates/adjudicates.h"

namespace revizer::client {
namespace {

// The service's answers read as Adjudicated records; an answer without a
// payload, or with one that does not decode, is none.
struct AdjudicatedAnswers : WireAdjudicates {
  using Adjudicated = result::Adjudicated;

  std::optional<Adjudicated> decode_answer(const AnswerEvent& event) const {
    if (!event.payload) return std::nullopt;
    auto decoded = json::decode<Adjudicated>(json::Value(*event.payload), json::Mode::Direct);
    if (!decoded) return std::nullopt;
    return std::move(*decoded);
  }
  bool is_deny(const Adjudicated& answer) const { return answer.decision == result::Decision::Deny; }
  Error denied_while_chunk_failed(Adjudicated denied, Error error) const {
    return RevizerClientError::denied_while_chunk_failed(std::make_shared<const Adjudicated>(std::move(denied)),
                                                         std::move(error));
  }
};

}  // namespace

wire::WireEvent to_wire(const event::Event& event) {
  wire::WireEvent out;
  out.event_id = event.event_id;
  out.trajectory_id = event.trajectory_id;
  out.agent_id = event.agent.id;
  const event::WireTimestamp stamp = event::to_wire_timestamp(event.timestamp);
  out.timestamp = wire::WireTimestamp{stamp.seconds, stamp.nanos};
  out.event_type = event::event_category_name(event.event);
  out.event_name = event::event_type_name(event.event);
  // The envelope is always an object; every record keeps all its keys here,
  // asset contents included.
  out.payload = json::encode(event).take_object();
  return out;
}

std::vector<wire::WireEvent> collect_wire_events(std::vector<event::Event> events) {
  std::vector<wire::WireEvent> wire_events;
  wire_events.reserve(events.size());
  for (event::Event& event : events) {
    wire_events.push_back(to_wire(event));
    event = event::Event();  // released as soon as it is on its way
  }
  return wire_events;
}

asio::awaitable<Adjudications> adjudicates(std::shared_ptr<const RevizerGrpcClient> client,
                                           std::vector<event::Event> events, CallClock::time_point started) {
  if (client->made_before_fork()) {
    co_return fail(RevizerClientError::status(grpc_status(GrpcCode::Unavailable, kMadeBeforeForkMessage)));
  }
  std::vector<wire::WireEvent> wire_events = collect_wire_events(std::move(events));
  AdjudicatedAnswers answers{{std::move(client), started}};
  co_return co_await run_batches(answers, std::move(wire_events));
}

}  // namespace revizer::client
