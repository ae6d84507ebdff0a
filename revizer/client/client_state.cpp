#include "revizer/client/client_state.h"

#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "common/proxy/proxy_tunnel.h"

namespace revizer::client {

asio::awaitable<CallOutcome> unary_call(ClientState state, std::string path, std::string framed_message,
                                        std::chrono::steady_clock::time_point deadline) {
  // A cancellation that landed before the call got here (its task not yet
  // started, or waiting in a step that does not listen) reaches no later
  // operation by itself: looked at before each step that waits.
  if (co_await common::cancellation_requested()) co_return fail(grpc_status(GrpcCode::Cancelled, "Call cancelled"));
  common::RequestMetadata metadata;
  if (!state.interceptor.call_now(metadata)) {
    // The identity token is due. The header step is part of the call: its
    // wait for the refreshed token counts against the call's deadline, and
    // the channel gets what is left of it.
    Status<common::GrpcStatus> headers = co_await state.interceptor.call(metadata, deadline);
    if (!headers) co_return fail(std::move(headers).error());
  }
  // Spent before the call reached here (a busy worker, the token's wait).
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::nanoseconds::zero()) co_return fail(grpc_status(GrpcCode::Cancelled, "Timeout expired"));
  if (co_await common::cancellation_requested()) co_return fail(grpc_status(GrpcCode::Cancelled, "Call cancelled"));
  UnaryCallRequest request{std::move(path), std::move(metadata), std::move(framed_message),
                           std::chrono::duration_cast<std::chrono::nanoseconds>(left), deadline};
  co_return co_await state.channel->channel().async_call(std::move(request), asio::use_awaitable);
}

asio::awaitable<CallOutcome> unary_call(ClientState state, std::string path, std::string framed_message,
                                        std::chrono::nanoseconds timeout) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout);
  co_return co_await unary_call(std::move(state), std::move(path), std::move(framed_message), deadline);
}

}  // namespace revizer::client
