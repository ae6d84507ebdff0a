#include "revizer/client/revizer_grpc_client.h"

#include "revizer/client/connect/adjudicates_timeout.h"

namespace revizer::client {

RevizerGrpcClient::~RevizerGrpcClient() {
  // In a forked child the state is the parent's: left as it is.
  if (made_before_fork()) (void)state_.release();
}

asio::awaitable<RevizerGrpcClient::Connected> RevizerGrpcClient::connect(ConnectOptions options,
                                                                         std::chrono::milliseconds timeout) {
  std::optional<std::string> iap;
  if (options.iap_token) iap.emplace(*options.iap_token);
  std::string endpoint(options.endpoint);  // not temporaries beside co_await (GCC 12)
  std::string token(options.token);
  auto state = co_await connect_with_auth(std::move(endpoint), std::move(token), std::move(iap));
  if (!state) co_return fail(std::move(state).error());
  co_return std::make_shared<const RevizerGrpcClient>(std::move(*state), timeout);
}

asio::awaitable<RevizerGrpcClient::Connected> RevizerGrpcClient::connect_with_timeout(std::string endpoint,
                                                                                      std::string token) {
  const auto timeout = client::adjudicates_timeout();
  co_return co_await connect({endpoint, token, std::nullopt}, timeout);
}

asio::awaitable<CallOutcome> RevizerGrpcClient::call_adjudicates(ClientState state, std::string framed_request,
                                                                 std::chrono::milliseconds timeout) {
  co_return co_await unary_call(std::move(state), kAdjudicatesPath, std::move(framed_request), timeout);
}

RevizerGrpcClient::Connected block_on_connect(Runtime& runtime, std::string endpoint, std::string token) {
  return block_on(runtime, RevizerGrpcClient::connect_with_timeout(std::move(endpoint), std::move(token)));
}

}  // namespace revizer::client
