// The pieces of a channel's connection policy: the backoff after failed
// attempts, the bound of each attempt (and its test hook), and the dealing
// of connections to the runtime's workers.
#include <gtest/gtest.h>

#include <asio/execution/context.hpp>
#include <asio/query.hpp>
#include <set>

#include "revizer/client/channel/connect_attempt.h"
#include "revizer/client/channel/connect_backoff.h"
#include "revizer/client/runtime/runtime.h"
#include "tests/cpp/common/scoped_env.h"

namespace revizer::client {
namespace {

using namespace std::chrono_literals;

TEST(ConnectBackoff, GrowsByHalfAgainAndMoreUpToTheCapWithJitter) {
  ConnectBackoff backoff;
  double nominal = 1000;
  std::set<std::int64_t> first_waits;
  for (int round = 0; round < 2; ++round) {
    nominal = 1000;
    for (int failure = 0; failure < 20; ++failure) {
      const auto wait = backoff.next().count();
      if (failure == 0) first_waits.insert(wait);
      EXPECT_GE(wait, static_cast<std::int64_t>(nominal * 0.8) - 1) << "failure " << failure;
      EXPECT_LE(wait, static_cast<std::int64_t>(nominal * 1.2) + 1) << "failure " << failure;
      nominal = std::min(nominal * 1.6, 120'000.0);
    }
    backoff.reset();  // a successful connection starts over
  }
  // Jitter: a few fresh sequences do not all start alike.
  for (int i = 0; i < 8; ++i) first_waits.insert(ConnectBackoff().next().count());
  EXPECT_GT(first_waits.size(), 1u);
}

TEST(ConnectAttempt, BoundIsTwentySecondsUnlessTheTestHookShortensIt) {
  const struct {
    const char* value;  // nullptr: unset
    std::chrono::milliseconds bound;
  } cases[] = {
      {nullptr, 20'000ms}, {"300", 300ms}, {"1", 1ms}, {"0", 20'000ms}, {"-5", 20'000ms}, {"", 20'000ms}, {"2s", 20'000ms},
  };
  for (const auto& c : cases) {
    revizer::testing::ScopedEnv env;
    if (c.value) {
      env.set("_TAVIMOR_TEST_CONNECT_TIMEOUT_MS", c.value);
    } else {
      env.unset("_TAVIMOR_TEST_CONNECT_TIMEOUT_MS");
    }
    EXPECT_EQ(connect_attempt_bound(), c.bound) << (c.value ? c.value : "unset");
  }
  EXPECT_EQ(attempt_timed_out_text(20'000ms), "connection attempt timed out after 20 s");
  EXPECT_EQ(attempt_timed_out_text(1500ms), "connection attempt timed out after 1500 ms");
}

TEST(Runtime, ConnectionsAreDealtToEachWorkerInTurn) {
  Runtime& runtime = Runtime::shared();
  std::set<asio::execution_context*> dealt;
  for (std::size_t i = 0; i < runtime.worker_count(); ++i) {
    dealt.insert(&asio::query(runtime.next_executor(), asio::execution::context));
  }
  EXPECT_EQ(dealt.size(), runtime.worker_count());
}

}  // namespace
}  // namespace revizer::client
