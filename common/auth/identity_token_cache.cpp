#include "common/auth/identity_token_cache.h"

#include <algorithm>

#include "common/auth/google/google_id_token.h"

namespace revizer::common {

IdentityTokenSource IdentityTokenSource::system(BlockingLauncher launch) {
  return {[](const std::string& audience) { return google_id_token_blocking(audience); },
          [] { return std::chrono::steady_clock::now(); }, std::move(launch)};
}

IdentityTokenCache::IdentityTokenCache(std::string audience, IdentityTokenSource source, HeaderValue first_value)
    : audience_(std::move(audience)), source_(std::move(source)), entry_({std::move(first_value), source_.now()}) {}

std::optional<HeaderValue> IdentityTokenCache::fresh_value() const {
  std::shared_lock hold(entry_lock_);
  if (!entry_) return std::nullopt;
  const auto now = source_.now();
  // A clock reading before the store (it never should) counts as fresh.
  if (now < entry_->fetched_at ||
      std::chrono::duration_cast<std::chrono::seconds>(now - entry_->fetched_at) < kIdentityTokenReuse) {
    return entry_->value;
  }
  return std::nullopt;
}

asio::awaitable<IdentityTokenCache::Outcome> IdentityTokenCache::refreshed_value(
    std::chrono::steady_clock::time_point deadline) {
  const Waiter waiter = std::make_shared<ResultSlot<Outcome>>();
  // A fetch that ended since the caller looked has left a fresh value.
  if (std::optional<HeaderValue> fresh = fresh_or_join(waiter)) co_return std::move(*fresh);
  Result<Outcome, WaitEnd> waited = co_await waiter->wait(deadline);
  if (waited) co_return std::move(*waited);
  leave(waiter);
  if (waited.error() == WaitEnd::DeadlinePassed) co_return fail(GrpcStatus{GrpcCode::Cancelled, "Timeout expired"});
  co_return fail(GrpcStatus{GrpcCode::Cancelled, "Call cancelled"});
}

std::optional<HeaderValue> IdentityTokenCache::fresh_or_join(const Waiter& waiter) {
  bool start = false;
  {
    std::lock_guard hold(flight_lock_);
    if (std::optional<HeaderValue> fresh = fresh_value()) return fresh;
    waiters_.push_back(waiter);
    start = !std::exchange(fetching_, true);
  }
  // The fetch keeps the cache alive until it has stored what it got.
  if (start) source_.launch([self = shared_from_this()] { self->fetch(); });
  return std::nullopt;
}

void IdentityTokenCache::leave(const Waiter& waiter) {
  std::lock_guard hold(flight_lock_);
  std::erase(waiters_, waiter);
}

void IdentityTokenCache::fetch() {
  Outcome outcome = fail(GrpcStatus{});
  if (auto token = source_.fetch(audience_)) {
    if (auto value = HeaderValue::checked("Bearer " + *token)) {
      outcome = std::move(*value);
    } else {
      outcome = fail(GrpcStatus{GrpcCode::Internal, "Invalid refreshed identity token value"});
    }
  } else {
    outcome = fail(GrpcStatus{GrpcCode::Unavailable, "Failed to refresh Cloud Run identity token: " + token.error()});
  }
  const auto fetched_at = source_.now();
  std::vector<Waiter> waiting;
  {
    std::lock_guard hold(flight_lock_);
    if (outcome) {
      std::unique_lock replace(entry_lock_);
      entry_ = CachedIdentityToken{*outcome, fetched_at};
    }
    fetching_ = false;
    waiting.swap(waiters_);
  }
  for (const Waiter& waiter : waiting) waiter->deliver(outcome);
}

}  // namespace revizer::common
