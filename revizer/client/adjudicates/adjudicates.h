#pragma once

// The Adjudicates operation of a connected client over the wire codec: wire
// events in, decoded answers out, or one RevizerClientError.
//
// The answer payload's record type stays a parameter until the result model
// exists: `AnswerCodec` turns an answer payload into it (nothing: not an
// Adjudicated), tells a Deny, and boxes the carried Deny. With the domain
// records in place, `RevizerGrpcClient::adjudicates(events)` is
// `collect_wire_events(events)` followed by this with the Adjudicated codec.

#include <asio/awaitable.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/json/value.h"
#include "revizer/client/adjudicates/run_batches.h"
#include "revizer/client/errors/revizer_client_error.h"
#include "revizer/client/revizer_grpc_client.h"
#include "schema/wire/adjudicates_request.h"
#include "schema/wire/adjudicates_response.h"

namespace revizer::client {

template <class Adjudicated>
struct AnswerCodec {
  std::function<std::optional<Adjudicated>(const json::Object&)> decode;
  std::function<bool(const Adjudicated&)> is_deny;
  std::function<DeniedAdjudication(Adjudicated)> box;
};

// One request per batch: encoded, sent with the client's timeout over a
// fresh copy of its state, its answer decoded.
asio::awaitable<Result<std::vector<wire::WireEvent>, common::GrpcStatus>> adjudicates_call(
    const RevizerGrpcClient& client, std::vector<wire::WireEvent> events);

template <class Record>
struct AdjudicatesOps {
  using WireEvent = wire::WireEvent;
  using AnswerEvent = wire::WireEvent;
  using Adjudicated = Record;
  using Error = RevizerClientError;

  std::shared_ptr<const RevizerGrpcClient> client;
  AnswerCodec<Record> codec;

  std::size_t event_cost(const WireEvent& event) const { return wire::AdjudicatesRequest::event_cost(event); }
  asio::awaitable<Result<std::vector<WireEvent>, common::GrpcStatus>> call(std::vector<WireEvent> batch) {
    return adjudicates_call(*client, std::move(batch));
  }
  std::optional<Adjudicated> decode_answer(const AnswerEvent& event) const {
    if (!event.payload) return std::nullopt;
    return codec.decode(*event.payload);
  }
  std::string answer_event_id(const AnswerEvent& event) const { return event.event_id; }
  bool is_deny(const Adjudicated& value) const { return codec.is_deny(value); }
  Error status_error(common::GrpcStatus status) const { return RevizerClientError::status(std::move(status)); }
  Error decode_error(std::string detail) const { return RevizerClientError::decode(std::move(detail)); }
  Error too_large(OversizedEvent o) const { return RevizerClientError::event_too_large(o.index, o.size, o.limit); }
  Error denied_while_chunk_failed(Adjudicated denied, Error error) const {
    return RevizerClientError::denied_while_chunk_failed(codec.box(std::move(denied)), std::move(error));
  }
};

template <class Adjudicated>
asio::awaitable<Result<std::vector<Adjudicated>, RevizerClientError>> adjudicate_wire_events(
    std::shared_ptr<const RevizerGrpcClient> client, std::vector<wire::WireEvent> events,
    AnswerCodec<Adjudicated> codec) {
  AdjudicatesOps<Adjudicated> ops{std::move(client), std::move(codec)};
  co_return co_await run_batches(ops, std::move(events));
}

}  // namespace revizer::client
