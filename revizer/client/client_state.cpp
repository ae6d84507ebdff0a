#include "revizer/client/client_state.h"

#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "revizer/client/runtime/runtime.h"

namespace revizer::client {

asio::awaitable<CallOutcome> unary_call(ClientState state, std::string path, std::string framed_message,
                                        std::chrono::nanoseconds timeout) {
  common::RequestMetadata metadata;
  Status<common::GrpcStatus> headers = Ok{};
  if (state.interceptor.identity_token_cache()) {
    // A due identity token is fetched inside the interceptor, blocking its
    // thread: that happens on the blocking pool, never on a worker.
    headers = co_await run_blocking(Runtime::shared().blocking_pool(), [&state, &metadata] {
      return state.interceptor.call(metadata);
    });
  } else {
    headers = state.interceptor.call(metadata);
  }
  if (!headers) co_return fail(std::move(headers).error());
  const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
  if (cancellation.cancelled() != asio::cancellation_type::none) {
    co_return fail(grpc_status(GrpcCode::Cancelled, "Call cancelled"));
  }
  UnaryCallRequest request{std::move(path), std::move(metadata), std::move(framed_message), timeout};
  co_return co_await state.channel->channel().async_call(std::move(request), asio::use_awaitable);
}

}  // namespace revizer::client
