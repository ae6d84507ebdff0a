#include "revizer/client/client_state.h"

#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace revizer::client {

asio::awaitable<CallOutcome> unary_call(ClientState state, std::string path, std::string framed_message,
                                        std::chrono::nanoseconds timeout) {
  common::RequestMetadata metadata;
  if (!state.interceptor.call_now(metadata)) {
    // The identity token is due. The header step is part of the call: its
    // wait for the refreshed token counts against the call's deadline, and
    // the channel gets what is left of it.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Status<common::GrpcStatus> headers = co_await state.interceptor.call(metadata, deadline);
    if (!headers) co_return fail(std::move(headers).error());
    timeout = deadline - std::chrono::steady_clock::now();
    if (timeout <= std::chrono::nanoseconds::zero()) co_return fail(grpc_status(GrpcCode::Cancelled, "Timeout expired"));
  }
  const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
  if (cancellation.cancelled() != asio::cancellation_type::none) {
    co_return fail(grpc_status(GrpcCode::Cancelled, "Call cancelled"));
  }
  UnaryCallRequest request{std::move(path), std::move(metadata), std::move(framed_message), timeout};
  co_return co_await state.channel->channel().async_call(std::move(request), asio::use_awaitable);
}

}  // namespace revizer::client
