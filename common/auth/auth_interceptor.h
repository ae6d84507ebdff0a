#pragma once

// The credentials every call carries, in one of three modes:
//   bearer:    authorization "Bearer <api token>"
//   IAP:       authorization "Bearer <iap token>", x-api-key <api token>
//   Cloud Run: authorization "Bearer <identity token for the endpoint>",
//              x-api-key <api token>; the identity token is fetched again
//              once it is 3000 s old.
// The channel calls `call` for each outgoing request before queueing it.

#include <memory>
#include <optional>
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
  // already there. On failure nothing may be sent: the call ends with the status.
  // In Cloud Run mode a due token is fetched here, blocking this thread.
  Status<GrpcStatus> call(RequestMetadata& metadata) const;

  const std::optional<HeaderValue>& authorization_value() const { return authorization_value_; }
  const std::optional<HeaderValue>& api_key_value() const { return api_key_value_; }
  // Shared by every copy of this interceptor.
  const std::shared_ptr<IdentityTokenCache>& identity_token_cache() const { return identity_token_cache_; }

 private:
  friend Result<AuthInterceptor, GrpcStatus> bearer_header_value(std::string_view);
  friend Result<AuthInterceptor, GrpcStatus> iap_auth_headers(std::string_view, std::string_view);
  friend Result<AuthInterceptor, GrpcStatus> cloud_run_auth_interceptor(std::string_view, std::string_view,
                                                                        IdentityTokenSource);

  std::optional<HeaderValue> authorization_value_;
  std::optional<HeaderValue> api_key_value_;
  std::shared_ptr<IdentityTokenCache> identity_token_cache_;
};

Result<AuthInterceptor, GrpcStatus> bearer_header_value(std::string_view api_token);
Result<AuthInterceptor, GrpcStatus> iap_auth_headers(std::string_view iap_token, std::string_view api_token);
// Fetches the first identity token for `endpoint` (the audience, as given),
// blocking this thread; the connect step runs it off the I/O threads.
Result<AuthInterceptor, GrpcStatus> cloud_run_auth_interceptor(
    std::string_view endpoint, std::string_view api_token,
    IdentityTokenSource source = IdentityTokenSource::system());

// True when the Cloud Run service domain suffix occurs anywhere in the text.
bool is_cloud_run_endpoint(std::string_view endpoint);

}  // namespace revizer::common
