#include "common/auth/auth_interceptor.h"

namespace revizer::common {
namespace {

constexpr std::string_view kCloudRunSuffix = ".run.app";

GrpcStatus internal(const char* message) { return {GrpcCode::Internal, message}; }

std::optional<HeaderValue> bearer(std::string_view token) {
  std::string text = "Bearer ";
  text += token;
  return HeaderValue::checked(std::move(text));
}

}  // namespace

bool is_cloud_run_endpoint(std::string_view endpoint) { return endpoint.find(kCloudRunSuffix) != std::string_view::npos; }

Result<AuthInterceptor, GrpcStatus> bearer_header_value(std::string_view api_token) {
  auto value = bearer(api_token);
  if (!value) return fail(internal("Invalid bearer token value"));
  AuthInterceptor interceptor;
  interceptor.authorization_value_ = std::move(value);
  return interceptor;
}

Result<AuthInterceptor, GrpcStatus> iap_auth_headers(std::string_view iap_token, std::string_view api_token) {
  auto authorization = bearer(iap_token);
  if (!authorization) return fail(internal("Invalid IAP token value"));
  auto api_key = HeaderValue::checked(std::string(api_token));
  if (!api_key) return fail(internal("Invalid API key value"));
  AuthInterceptor interceptor;
  interceptor.authorization_value_ = std::move(authorization);
  interceptor.api_key_value_ = std::move(api_key);
  return interceptor;
}

Result<AuthInterceptor, GrpcStatus> cloud_run_interceptor_from(std::string_view endpoint, std::string_view api_token,
                                                               Result<std::string, std::string> first_token,
                                                               IdentityTokenSource source) {
  if (!first_token) {
    return fail(GrpcStatus{GrpcCode::Unavailable, "Failed to fetch Cloud Run identity token: " + first_token.error()});
  }
  auto authorization = bearer(*first_token);
  if (!authorization) return fail(internal("Invalid identity token value"));
  auto api_key = HeaderValue::checked(std::string(api_token));
  if (!api_key) return fail(internal("Invalid API key value"));
  AuthInterceptor interceptor;
  interceptor.api_key_value_ = std::move(api_key);
  // The cache reads the clock now, after the fetch has completed.
  interceptor.identity_token_cache_ =
      std::make_shared<IdentityTokenCache>(std::string(endpoint), std::move(source), std::move(*authorization));
  return interceptor;
}

asio::awaitable<Result<AuthInterceptor, GrpcStatus>> cloud_run_auth_interceptor(std::string endpoint,
                                                                               std::string api_token,
                                                                               IdentityTokenSource source) {
  using Fetched = Result<std::string, std::string>;
  const auto slot = std::make_shared<ResultSlot<Fetched>>();
  source.launch([slot, fetch = source.fetch, audience = endpoint] {
    if (!slot->abandoned()) slot->deliver(fetch(audience));
  });
  const auto no_deadline = std::chrono::steady_clock::time_point::max();
  Result<Fetched, WaitEnd> fetched = co_await slot->wait(no_deadline);
  if (!fetched) co_return fail(GrpcStatus{GrpcCode::Cancelled, "Connect cancelled"});
  co_return cloud_run_interceptor_from(endpoint, api_token, std::move(*fetched), std::move(source));
}

void AuthInterceptor::set_headers(RequestMetadata& metadata, const std::optional<HeaderValue>& authorization) const {
  if (authorization) replace_metadata(metadata, "authorization", *authorization);
  if (api_key_value_) replace_metadata(metadata, "x-api-key", *api_key_value_);
}

bool AuthInterceptor::call_now(RequestMetadata& metadata) const {
  if (!identity_token_cache_) {
    set_headers(metadata, authorization_value_);
    return true;
  }
  std::optional<HeaderValue> fresh = identity_token_cache_->fresh_value();
  if (!fresh) return false;
  set_headers(metadata, fresh);
  return true;
}

asio::awaitable<Status<GrpcStatus>> AuthInterceptor::call(RequestMetadata& metadata,
                                                          std::chrono::steady_clock::time_point deadline) const {
  if (call_now(metadata)) co_return Ok{};
  IdentityTokenCache::Outcome refreshed = co_await identity_token_cache_->refreshed_value(deadline);
  if (!refreshed) co_return fail(std::move(refreshed).error());
  set_headers(metadata, std::optional<HeaderValue>(std::move(*refreshed)));
  co_return Ok{};
}

}  // namespace revizer::common
