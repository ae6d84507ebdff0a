#pragma once

// The Adjudicates operation over any codec: size and pack the wire events,
// send the batches one after another (every batch, even after one failed),
// count and decode each answer, and reduce failures to the first recorded
// error, wrapped as a denial when any decoded answer is a Deny.
//
// `Ops` supplies the types WireEvent, AnswerEvent, Adjudicated and Error and:
//   std::size_t event_cost(const WireEvent&)   // bytes inside a request
//   asio::awaitable<Result<std::vector<AnswerEvent>, common::GrpcStatus>> call(std::vector<WireEvent>)
//   std::optional<Adjudicated> decode_answer(const AnswerEvent&)  // nothing: absent or undecodable payload
//   std::string answer_event_id(const AnswerEvent&)
//   bool is_deny(const Adjudicated&)
//   Error status_error(common::GrpcStatus), decode_error(std::string), too_large(OversizedEvent),
//         denied_while_chunk_failed(Adjudicated, Error)
// Dropping the operation (terminal cancellation) abandons the call in flight
// and sends no further batch.

#include <asio/awaitable.hpp>
#include <asio/this_coro.hpp>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/auth/grpc_status.h"
#include "revizer/client/adjudicates/batch_plan.h"
#include "revizer/client/http2/grpc_protocol.h"
#include "support/result.h"

namespace revizer::client {

template <class Ops>
asio::awaitable<Result<std::vector<typename Ops::Adjudicated>, typename Ops::Error>> run_batches(
    Ops& ops, std::vector<typename Ops::WireEvent> events) {
  using Error = typename Ops::Error;
  std::vector<std::size_t> costs;
  costs.reserve(events.size());
  for (const auto& event : events) costs.push_back(ops.event_cost(event));
  auto batches = pack_batches(costs);
  if (!batches) co_return fail(ops.too_large(batches.error()));

  std::vector<typename Ops::Adjudicated> results;
  results.reserve(events.size());
  std::optional<Error> first_error;
  const auto record = [&first_error](Error error) {
    if (!first_error) first_error.emplace(std::move(error));
  };

  for (const BatchRange& batch : *batches) {
    std::vector<typename Ops::WireEvent> request(std::make_move_iterator(events.begin() + batch.start),
                                                 std::make_move_iterator(events.begin() + batch.end));
    auto answer = co_await ops.call(std::move(request));
    const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
    if (cancellation.cancelled() != asio::cancellation_type::none) {
      // Dropped: nothing more is sent and nothing is reported.
      co_return fail(ops.status_error(grpc_status(GrpcCode::Cancelled, "Call cancelled")));
    }
    if (!answer) {
      record(ops.status_error(std::move(answer).error()));
      continue;
    }
    const std::size_t expected = batch.end - batch.start;
    if (answer->size() != expected) {
      record(ops.decode_error("Expected " + std::to_string(expected) + " adjudication responses, received " +
                              std::to_string(answer->size())));
    }
    for (const auto& answer_event : *answer) {
      if (auto decoded = ops.decode_answer(answer_event)) {
        results.push_back(std::move(*decoded));
      } else {
        record(ops.decode_error(
            "Cannot deserialize adjudication response: validation error: invalid adjudication DTO: could not decode "
            "payload for event '" +
            ops.answer_event_id(answer_event) + "'"));
      }
    }
  }

  if (!first_error) co_return results;
  for (auto& result : results) {
    if (ops.is_deny(result)) co_return fail(ops.denied_while_chunk_failed(std::move(result), std::move(*first_error)));
  }
  co_return fail(std::move(*first_error));
}

}  // namespace revizer::client
