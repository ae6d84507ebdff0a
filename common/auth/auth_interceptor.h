#pragma once

// The credentials every call carries, in one of three modes:
//   bearer:    authorization "Bearer <api token>"
//   IAP:       authorization "Bearer <iap token>", x-api-key <api token>
//   Cloud Run: authorization "Bearer <identity token for the endpoint>",
//              x-api-key <api token>; the identity token is fetched again
//              once it is 3000 s old.
// Each call runs the header step before its request is queued.

#include <asio/awaitable.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/auth/grpc_status.h"
#include "common/auth/header_value.h"
#include "common/auth/identity_token_cache.h"
#include "common/auth/request_metadata.h"
#include "support/result.h"

namespace revizer::common {

class AuthInterceptor {
 public:
  // Sets "authorization" and "x-api-key" as the mode says, replacing values
  // already there, when that needs no fetch: always in bearer and IAP modes,
  // in Cloud Run mode while the identity token is fresh. Returns false and
  // sets nothing when the identity token is due.
  [[nodiscard]] bool call_now(RequestMetadata& metadata) const;

  // The whole header step. A due identity token is refreshed first (one fetch
  // per client at a time, off this thread); the wait for it ends by
  // `deadline` or when the awaiting coroutine is cancelled. On failure
  // nothing may be sent: the call ends with the status.
  asio::awaitable<Status<GrpcStatus>> call(RequestMetadata& metadata,
                                           std::chrono::steady_clock::time_point deadline) const;

  const std::optional<HeaderValue>& authorization_value() const { return authorization_value_; }
  const std::optional<HeaderValue>& api_key_value() const { return api_key_value_; }
  // Shared by every copy of this interceptor.
  const std::shared_ptr<IdentityTokenCache>& identity_token_cache() const { return identity_token_cache_; }

 private:
  friend Result<AuthInterceptor, GrpcStatus> bearer_header_value(std::string_view);
  friend Result<AuthInterceptor, GrpcStatus> iap_auth_headers(std::string_view, std::string_view);
  friend Result<AuthInterceptor, GrpcStatus> cloud_run_interceptor_from(std::string_view, std::string_view,
                                                                        Result<std::string, std::string>,
                                                                        IdentityTokenSource);

  void set_headers(RequestMetadata& metadata, const std::optional<HeaderValue>& authorization) const;

  std::optional<HeaderValue> authorization_value_;
  std::optional<HeaderValue> api_key_value_;
  std::shared_ptr<IdentityTokenCache> identity_token_cache_;
};

Result<AuthInterceptor, GrpcStatus> bearer_header_value(std::string_view api_token);
Result<AuthInterceptor, GrpcStatus> iap_auth_headers(std::string_view iap_token, std::string_view api_token);
// The Cloud Run interceptor for `endpoint` (the audience, as given), from
// the outcome of the first identity-token fetch.
Result<AuthInterceptor, GrpcStatus> cloud_run_interceptor_from(std::string_view endpoint, std::string_view api_token,
                                                               Result<std::string, std::string> first_token,
                                                               IdentityTokenSource source);
// Fetches the first identity token through the source's launcher and builds
// the interceptor. The wait has no deadline of its own (the fetch is bounded
// by its transfer limits); cancelling the awaiting coroutine abandons it at
// once, and a fetch that has not begun by then is skipped.
asio::awaitable<Result<AuthInterceptor, GrpcStatus>> cloud_run_auth_interceptor(std::string endpoint,
                                                                               std::string api_token,
                                                                               IdentityTokenSource source);

// True when the Cloud Run service domain suffix occurs anywhere in the text.
bool is_cloud_run_endpoint(std::string_view endpoint);

}  // namespace revizer::common
