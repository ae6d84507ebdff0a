#pragma once

// The Cloud Run identity token in use by one client: shared by every copy of
// its interceptor, reused while younger than 3000 s on the monotonic clock,
// fetched again by the first call that finds it older.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>

#include "common/auth/grpc_status.h"
#include "common/auth/header_value.h"
#include "support/result.h"

namespace revizer::common {

using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;
// Fetches an identity token for an audience; blocks its thread until done.
using IdentityTokenFetcher = std::function<Result<std::string, std::string>(const std::string& audience)>;

// Where tokens and time come from; tests put fakes in.
struct IdentityTokenSource {
  IdentityTokenFetcher fetch;
  MonotonicClock now;

  static IdentityTokenSource system();
};

inline constexpr std::chrono::seconds kIdentityTokenReuse{3000};

class IdentityTokenCache {
 public:
  IdentityTokenCache(std::string audience, IdentityTokenSource source, HeaderValue first_value);

  // The current "Bearer " value, refreshing it when it is due. Refresh
  // failures fail only this call; the old entry stays for the next one.
  Result<HeaderValue, GrpcStatus> current_value();

  const std::string& audience() const { return audience_; }

 private:
  struct CachedIdentityToken {
    HeaderValue value;
    std::chrono::steady_clock::time_point fetched_at;
  };

  std::optional<HeaderValue> fresh_value();

  const std::string audience_;
  const IdentityTokenSource source_;
  std::shared_mutex lock_;  // held only to copy or replace `entry_`
  std::optional<CachedIdentityToken> entry_;
};

}  // namespace revizer::common
