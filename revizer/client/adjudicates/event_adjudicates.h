#pragma once

// The Adjudicates operation over the domain records: Event envelopes go out
// as wire events, answers come back as Adjudicated records.
//
//   to_wire(event)          the typed header fields, the timestamp and the
//                           whole envelope's JSON form as the payload
//   adjudicates(client, events)
//                           every event adjudicated, in the order of the
//                           service's answers, or one RevizerClientError

#include <asio/awaitable.hpp>
#include <memory>
#include <vector>

#include "model/event/event.h"
#include "model/result/adjudicated.h"
#include "revizer/client/errors/revizer_client_error.h"
#include "revizer/client/revizer_grpc_client.h"
#include "schema/wire/wire_event.h"
#include "support/result.h"

namespace revizer::client {

wire::WireEvent to_wire(const event::Event& event);

// One wire event per event, in order; the events are released as they go.
std::vector<wire::WireEvent> collect_wire_events(std::vector<event::Event> events);

using Adjudications = Result<std::vector<result::Adjudicated>, RevizerClientError>;

// A client connected before this process was forked fails at once with an
// UNAVAILABLE status, before anything touches its connection. The first
// request's deadline counts from `started` (WireAdjudicates).
asio::awaitable<Adjudications> adjudicates(std::shared_ptr<const RevizerGrpcClient> client,
                                           std::vector<event::Event> events,
                                           CallClock::time_point started = CallClock::now());

// The text of that status.
inline constexpr const char* kMadeBeforeForkMessage =
    "client was created before the process forked; create a new client in this process";

}  // namespace revizer::client
