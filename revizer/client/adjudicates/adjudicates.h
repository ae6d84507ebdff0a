#pragma once

// The Adjudicates operation of a connected client, on the wire side: one
// request per batch and the failures it can end in. `WireAdjudicates` is the
// part of run_batches' operations (run_batches.h) that does not depend on
// how an answer's payload is read; a reading of the answers adds
// `Adjudicated`, `decode_answer`, `is_deny` and `denied_while_chunk_failed`
// (event_adjudicates.cpp reads them as Adjudicated records).

#include <asio/awaitable.hpp>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "revizer/client/adjudicates/run_batches.h"
#include "revizer/client/errors/revizer_client_error.h"
#include "revizer/client/revizer_grpc_client.h"
#include "schema/wire/adjudicates_request.h"
#include "schema/wire/adjudicates_response.h"

namespace revizer::client {

// One request per batch: encoded, sent with `deadline` over a fresh copy of
// the client's state, its answer decoded.
asio::awaitable<Result<std::vector<wire::WireEvent>, common::GrpcStatus>> adjudicates_call(
    const RevizerGrpcClient& client, std::vector<wire::WireEvent> events, CallClock::time_point deadline);

// The deadlines: each request's is the client's timeout from its start,
// the first request's from `started`, when the operation was asked for (a
// Python call's start), so that the time before it reaches its worker
// counts. Each later batch starts as the one before ends.
struct WireAdjudicates {
  using WireEvent = wire::WireEvent;
  using AnswerEvent = wire::WireEvent;
  using Error = RevizerClientError;

  std::shared_ptr<const RevizerGrpcClient> client;
  CallClock::time_point started = CallClock::now();
  bool first_sent = false;

  std::size_t event_cost(const WireEvent& event) const { return wire::AdjudicatesRequest::event_cost(event); }
  asio::awaitable<Result<std::vector<WireEvent>, common::GrpcStatus>> call(std::vector<WireEvent> batch) {
    const CallClock::time_point from = std::exchange(first_sent, true) ? CallClock::now() : started;
    return adjudicates_call(*client, std::move(batch), from + client->adjudicates_timeout());
  }
  std::string answer_event_id(const AnswerEvent& event) const { return event.event_id; }
  Error status_error(common::GrpcStatus status) const { return RevizerClientError::status(std::move(status)); }
  Error decode_error(std::string detail) const { return RevizerClientError::decode(std::move(detail)); }
  Error too_large(OversizedEvent o) const { return RevizerClientError::event_too_large(o.index, o.size, o.limit); }
};

}  // namespace revizer::client
