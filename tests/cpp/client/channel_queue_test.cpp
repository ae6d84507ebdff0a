// Calls that wait in a channel for a stream, behind a server that grants
// one at a time: a hundred thousand of them end together at their deadline,
// or together when cancelled, without holding up a later call; and the
// clients of one thread are spread over the runtime's workers.
#include <gtest/gtest.h>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/bind_executor.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/execution/context.hpp>
#include <asio/query.hpp>
#include <map>
#include <mutex>
#include <set>

#include "tests/cpp/client/channel_peers.h"
#include "tests/cpp/common/scoped_env.h"
#include "tests/peers/revizer_server_process.h"

namespace revizer::client {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kCalls = 100'000;

// Outcomes of many calls, counted by text as they arrive.
struct Tally {
  std::atomic<int> ended{0};
  std::mutex mutex;
  std::map<std::string, int> texts;
  Clock::time_point last{};

  void add(const CallOutcome& outcome) {
    std::lock_guard lock(mutex);
    ++texts[outcome_text(outcome)];
    last = Clock::now();
    ++ended;
  }
  // Runs on the channel's worker.
  auto handler(Channel& channel) {
    return asio::bind_executor(channel.executor(), [this](CallOutcome outcome) { add(outcome); });
  }
};

UnaryCallRequest request(const std::string& trajectory, std::chrono::milliseconds timeout) {
  return {kAdjudicatesPath, {}, framed_request(trajectory), timeout};
}

class ChannelQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "all_proxy", "HTTP_PROXY", "ALL_PROXY"}) env_.unset(name);
  }
  revizer::testing::ScopedEnv env_;
};

TEST_F(ChannelQueue, CallsQueuedBehindOneStreamAllEndAtTheirDeadline) {
  StallingPeer peer(StallingPeer::Mode::Settings, 1);
  auto connected = connect(peer.endpoint());
  ASSERT_TRUE(connected) << connect_error(connected);
  Channel& channel = (*connected)->read_state().channel->channel();
  Tally tally;
  constexpr auto kTimeout = 2000ms;
  for (int i = 0; i < kCalls; ++i) channel.async_call(request("queued", kTimeout), tally.handler(channel));
  // The last call's deadline was set when it reached the channel, before
  // the strand ran what was posted after it.
  std::promise<void> queued;
  asio::post(channel.strand(), [&] { queued.set_value(); });
  queued.get_future().wait();
  const auto last_deadline = Clock::now() + kTimeout;
  ASSERT_TRUE(eventually([&] { return tally.ended == kCalls; }, kTimeout + 10s)) << tally.ended << " ended";
  std::lock_guard lock(tally.mutex);
  EXPECT_EQ(tally.texts, (std::map<std::string, int>{{"1 Timeout expired", kCalls}}));
  // Generous: an unoptimised sanitizer build under load needs about 2 s.
  EXPECT_LT(tally.last, last_deadline + 3s) << "the calls ended late";
}

TEST_F(ChannelQueue, CancellingQueuedCallsLetsALaterCallThroughAtOnce) {
  peers::RevizerServerProcess server({.max_concurrent_streams = 1});
  ASSERT_TRUE(server.ok());
  auto connected = connect("http://" + server.address());
  ASSERT_TRUE(connected) << connect_error(connected);
  Channel& channel = (*connected)->read_state().channel->channel();
  Tally tally;
  std::vector<asio::cancellation_signal> signals(kCalls);
  for (int i = 0; i < kCalls; ++i) {
    // The first holds the only stream and is never answered.
    channel.async_call(request(i == 0 ? "behave:never-answer" : "queued", 60s),
                       asio::bind_cancellation_slot(signals[i].slot(), tally.handler(channel)));
  }
  // Every call has reached the channel once the strand has run what was
  // posted after them: the bound below is the cancellation's alone.
  std::promise<void> queued;
  asio::post(channel.strand(), [&] { queued.set_value(); });
  queued.get_future().wait();
  // Emitted on the strand, where the calls' slots are cleared.
  const auto cancelled_at = Clock::now();
  asio::post(channel.strand(), [&] {
    for (auto& signal : signals) signal.emit(asio::cancellation_type::terminal);
  });
  ASSERT_TRUE(eventually([&] { return tally.ended == kCalls; }, 10s)) << tally.ended << " ended";
  {
    std::lock_guard lock(tally.mutex);
    EXPECT_EQ(tally.texts, (std::map<std::string, int>{{"1 Call cancelled", kCalls}}));
    // Generous: an unoptimised sanitizer build takes about 2 s for them all;
    // a cost per call that grows with the queue would take minutes.
    EXPECT_LT(tally.last, cancelled_at + 4s) << "the cancellations ended late";
  }
  const auto started = Clock::now();
  const CallOutcome after = call_once(*connected, "after", 5000ms);
  EXPECT_EQ(outcome_text(after), "answered");
  EXPECT_LT(Clock::now() - started, 3s) << "the later call waited";  // generous, as above
}

TEST_F(ChannelQueue, ClientsOfOneThreadSpreadOverTheWorkers) {
  peers::RevizerServerProcess server({.direct = true});
  ASSERT_TRUE(server.ok());
  const std::size_t workers = Runtime::shared().worker_count();
  std::set<asio::execution_context*> used;
  std::vector<Client> clients;
  for (std::size_t i = 0; i < workers; ++i) {
    auto connected = connect("http://" + server.address());
    ASSERT_TRUE(connected) << connect_error(connected);
    clients.push_back(*connected);
    used.insert(&asio::query(clients.back()->executor(), asio::execution::context));
  }
  EXPECT_EQ(used.size(), workers) << "clients made on one thread share workers";
}

}  // namespace
}  // namespace revizer::client
