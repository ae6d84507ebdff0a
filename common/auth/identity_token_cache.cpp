#include "common/auth/identity_token_cache.h"

#include <mutex>

#include "common/auth/google/google_id_token.h"

namespace revizer::common {

IdentityTokenSource IdentityTokenSource::system() {
  return {[](const std::string& audience) { return google_id_token_blocking(audience); },
          [] { return std::chrono::steady_clock::now(); }};
}

IdentityTokenCache::IdentityTokenCache(std::string audience, IdentityTokenSource source, HeaderValue first_value)
    : audience_(std::move(audience)), source_(std::move(source)), entry_({std::move(first_value), source_.now()}) {}

std::optional<HeaderValue> IdentityTokenCache::fresh_value() {
  std::shared_lock hold(lock_);
  if (!entry_) return std::nullopt;
  const auto now = source_.now();
  // A clock reading before the store (it never should) counts as fresh.
  if (now < entry_->fetched_at ||
      std::chrono::duration_cast<std::chrono::seconds>(now - entry_->fetched_at) < kIdentityTokenReuse) {
    return entry_->value;
  }
  return std::nullopt;
}

Result<HeaderValue, GrpcStatus> IdentityTokenCache::current_value() {
  if (auto value = fresh_value()) return std::move(*value);
  // No lock while fetching: calls that find the entry due at once each fetch.
  auto token = source_.fetch(audience_);
  if (!token) return fail(GrpcStatus{GrpcCode::Unavailable, "Failed to refresh Cloud Run identity token: " + token.error()});
  auto value = HeaderValue::checked("Bearer " + *token);
  if (!value) return fail(GrpcStatus{GrpcCode::Internal, "Invalid refreshed identity token value"});
  const auto fetched_at = source_.now();
  {
    std::unique_lock hold(lock_);
    entry_ = CachedIdentityToken{*value, fetched_at};
  }
  return std::move(*value);
}

}  // namespace revizer::common
