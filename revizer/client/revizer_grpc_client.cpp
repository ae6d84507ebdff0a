#include "revizer/client/revizer_grpc_client.h"


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

asio::awaitable<CallOutcome> RevizerGrpcClient::call_adjudicates(ClientState state, std::string framed_request,
                                                                 CallClock::time_point deadline) {
  co_return co_await unary_call(std::move(state), kAdjudicatesPath, std::move(framed_request), deadline);
}

asio::awaitable<CallOutcome> RevizerGrpcClient::call_adjudicates(ClientState state, std::string framed_request,
                                                                 std::chrono::milliseconds timeout) {
  co_return co_await unary_call(std::move(state), kAdjudicatesPath, std::move(framed_request), timeout);
}

}  // namespace revizer::client
