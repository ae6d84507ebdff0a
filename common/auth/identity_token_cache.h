#pragma once

// The Cloud Run identity token in use by one client: shared by every copy of
// its interceptor, reused while younger than 3000 s on the monotonic clock,
// fetched again once a call finds it older. One fetch at a time: the calls
// that find the token due while a fetch runs wait for that fetch, each until
// its own deadline, and the fetch runs through the source's launcher (a
// bounded pool of its own), never on the caller's thread.

#include <asio/awaitable.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "common/auth/grpc_status.h"
#include "common/auth/header_value.h"
#include "common/auth/result_slot.h"
#include "support/result.h"

namespace revizer::common {

using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;
// Fetches an identity token for an audience; blocks its thread until done.
using IdentityTokenFetcher = std::function<Result<std::string, std::string>(const std::string& audience)>;
// Runs a job that blocks (a token fetch) on a thread kept for such jobs.
using BlockingLauncher = std::function<void(std::function<void()> job)>;

// Where tokens, time and fetch threads come from; tests put fakes in.
struct IdentityTokenSource {
  IdentityTokenFetcher fetch;
  MonotonicClock now;
  BlockingLauncher launch;

  // Application Default Credentials and the steady clock; fetches go to `launch`.
  static IdentityTokenSource system(BlockingLauncher launch);
};

inline constexpr std::chrono::seconds kIdentityTokenReuse{3000};

class IdentityTokenCache : public std::enable_shared_from_this<IdentityTokenCache> {
 public:
  using Outcome = Result<HeaderValue, GrpcStatus>;

  IdentityTokenCache(std::string audience, IdentityTokenSource source, HeaderValue first_value);

  // The cached "Bearer " value while it is younger than 3000 s; nothing once
  // it is due. Takes one reader lock and never waits for a fetch.
  std::optional<HeaderValue> fresh_value() const;

  // A value fetched after the cached one fell due: joins the fetch in flight
  // or starts it. Ends by `deadline` with CANCELLED "Timeout expired", or at
  // once when the awaiting coroutine is cancelled; the fetch goes on for the
  // calls after it either way. A failed fetch fails every call that waited
  // on it and leaves the old entry; the next call fetches again.
  asio::awaitable<Outcome> refreshed_value(std::chrono::steady_clock::time_point deadline);

  const std::string& audience() const { return audience_; }

 private:
  struct CachedIdentityToken {
    HeaderValue value;
    std::chrono::steady_clock::time_point fetched_at;
  };
  using Waiter = std::shared_ptr<ResultSlot<Outcome>>;

  // A fresh value, else `waiter` joins the fetch (starting it when none runs).
  std::optional<HeaderValue> fresh_or_join(const Waiter& waiter);
  void leave(const Waiter& waiter);
  void fetch();  // on the launcher's thread

  const std::string audience_;
  const IdentityTokenSource source_;
  mutable std::shared_mutex entry_lock_;  // held only to read or replace `entry_`
  std::optional<CachedIdentityToken> entry_;
  // Taken before `entry_lock_` where both are held.
  std::mutex flight_lock_;
  bool fetching_ = false;
  std::vector<Waiter> waiters_;  // the calls waiting on the fetch in flight
};

}  // namespace revizer::common
