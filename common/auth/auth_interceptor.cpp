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

Result<AuthInterceptor, GrpcStatus> cloud_run_auth_interceptor(std::string_view endpoint, std::string_view api_token,
                                                               IdentityTokenSource source) {
  std::string audience(endpoint);
  auto token = source.fetch(audience);
  if (!token) return fail(GrpcStatus{GrpcCode::Unavailable, "Failed to fetch Cloud Run identity token: " + token.error()});
  auto authorization = bearer(*token);
  if (!authorization) return fail(internal("Invalid identity token value"));
  auto api_key = HeaderValue::checked(std::string(api_token));
  if (!api_key) return fail(internal("Invalid API key value"));
  AuthInterceptor interceptor;
  interceptor.api_key_value_ = std::move(api_key);
  // The cache reads the clock now, after the fetch has completed.
  interceptor.identity_token_cache_ =
      std::make_shared<IdentityTokenCache>(std::move(audience), std::move(source), std::move(*authorization));
  return interceptor;
}

Status<GrpcStatus> AuthInterceptor::call(RequestMetadata& metadata) const {
  if (identity_token_cache_) {
    auto value = identity_token_cache_->current_value();
    if (!value) return fail(std::move(value).error());
    replace_metadata(metadata, "authorization", *value);
  } else if (authorization_value_) {
    replace_metadata(metadata, "authorization", *authorization_value_);
  }
  if (api_key_value_) replace_metadata(metadata, "x-api-key", *api_key_value_);
  return Ok{};
}

}  // namespace revizer::common
