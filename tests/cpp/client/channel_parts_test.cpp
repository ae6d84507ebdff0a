// The pieces of a channel's connection policy: the backoff after failed
// attempts, and the dealing of connections to the runtime's workers.
#include <gtest/gtest.h>

#include <asio/execution/context.hpp>
#include <asio/query.hpp>
#include <set>

#include "revizer/client/channel/connect_backoff.h"
#include "revizer/client/runtime/runtime.h"

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
