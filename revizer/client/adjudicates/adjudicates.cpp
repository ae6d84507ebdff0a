#include "revizer/client/adjudicates/adjudicates.h"

namespace revizer::client {

asio::awaitable<Result<std::vector<wire::WireEvent>, common::GrpcStatus>> adjudicates_call(
    const RevizerGrpcClient& client, std::vector<wire::WireEvent> events, CallClock::time_point deadline) {
  std::string framed;
  {
    const wire::AdjudicatesRequest request{std::move(events)};
    if (auto encoded = request.encode(framed); !encoded) co_return fail(std::move(encoded).error());
  }  // the request's events are released once encoded
  ClientState state = client.read_state();  // not a temporary beside co_await (GCC 12)
  auto answer = co_await RevizerGrpcClient::call_adjudicates(std::move(state), std::move(framed), deadline);
  if (!answer) co_return fail(std::move(answer).error());
  auto response = wire::AdjudicatesResponse::decode(*answer);
  if (!response) co_return fail(std::move(response).error());
  co_return std::move(response->events);
}

}  // namespace revizer::client
