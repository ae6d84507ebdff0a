// Peers that stall or speak the wrong protocol, against the connection
// attempts of a channel: the first connect fails at its bound (shortened
// here through the test hook) or at once, never giving a connected client
// that cannot call; a stalled reconnect leaves every call to its own
// deadline, then backs off and recovers; cancelling a connect or dropping a
// client closes the attempt's socket at once.
#include <gtest/gtest.h>

#include <csignal>

#include "tests/cpp/client/channel_peers.h"
#include "tests/cpp/common/scoped_env.h"
#include "tests/peers/revizer_server_process.h"
#include "tests/peers/test_certificates.h"
#include "tests/peers/tinyproxy_process.h"

namespace revizer::client {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kBoundHook = "_TAVIMOR_TEST_CONNECT_TIMEOUT_MS";

class ChannelStalls : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"}) {
      env_.unset(name);
    }
  }
  revizer::testing::ScopedEnv env_;
};

// A peer that accepts and says nothing, whether the client waits for the
// HTTP/2 handshake (http) or for the TLS one (https): the connect ends at
// the attempt's bound with the reason, and leaves no socket behind.
TEST_F(ChannelStalls, SilentPeerFailsTheConnectAtTheAttemptBound) {
  env_.set(kBoundHook, "400");
  StallingPeer peer(StallingPeer::Mode::Silent);
  for (const char* scheme : {"http", "https"}) {
    const std::string endpoint = peer.endpoint(scheme);
    const auto started = Clock::now();
    auto connected = connect(endpoint);
    const auto took = Clock::now() - started;
    EXPECT_EQ(connect_error(connected), "transport setup failed: Failed to connect to '" + endpoint +
                                            "': transport error: connection attempt timed out after 400 ms");
    EXPECT_GE(took, 400ms) << scheme;
    EXPECT_LT(took, 3s) << scheme;
  }
  EXPECT_TRUE(eventually([&] { return peer.ended() == peer.accepted(); }, 2s)) << "an attempt's socket stayed open";
}

// Servers that answer, but not with HTTP/2: tinyproxy (HTTP/1.1) and the
// TLS port of the gRPC test server spoken to in plain text. Both fail at
// connect time, well before the bound.
TEST_F(ChannelStalls, ServersThatDoNotSpeakHttp2FailTheConnect) {
  revizer::testing::TempDir dir;
  peers::TinyproxyProcess http1(dir.path());
  ASSERT_TRUE(http1.ok());
  peers::TestCertificates certs;
  ASSERT_TRUE(certs.ok());
  peers::RevizerServerProcess tls({.tls_cert = certs.server_cert(), .tls_key = certs.server_key()});
  ASSERT_TRUE(tls.ok());
  for (const std::string& endpoint : {"http://127.0.0.1:" + std::to_string(http1.port()), "http://" + tls.address()}) {
    const auto started = Clock::now();
    auto connected = connect(endpoint);
    const std::string text = connect_error(connected);
    EXPECT_EQ(text.rfind("transport setup failed: Failed to connect to '" + endpoint + "': transport error: ", 0), 0u)
        << text;
    EXPECT_EQ(text.find("timed out"), std::string::npos) << text;
    EXPECT_LT(Clock::now() - started, 10s) << endpoint;
  }
}

// Cancelling the tasks that await connects to a silent peer closes their
// sockets at once, long before the attempts' bound, and reports nothing.
TEST_F(ChannelStalls, CancelledConnectsCloseTheirSockets) {
  StallingPeer peer(StallingPeer::Mode::Silent);
  constexpr int kConnects = 64;
  // Each worker's reactor (epoll, eventfd, timerfd) is made with its first
  // I/O object: make them all before the count.
  for (std::size_t i = 0; i < Runtime::shared().worker_count(); ++i) asio::steady_timer(Runtime::shared().next_executor());
  const std::size_t before = open_descriptors();
  std::atomic<int> reported{0};
  const std::string endpoint = peer.endpoint();  // outlives the connects, which borrow it
  std::vector<TaskHandle> tasks;
  for (int i = 0; i < kConnects; ++i) {
    tasks.push_back(spawn_task<RevizerGrpcClient::Connected>(
        Runtime::shared().executor(), RevizerGrpcClient::connect({endpoint, "token", std::nullopt}, 7000ms),
        [&](RevizerGrpcClient::Connected) { ++reported; }));
  }
  ASSERT_TRUE(eventually([&] { return peer.accepted() == kConnects; }, 10s)) << peer.accepted() << " accepted";
  EXPECT_GT(open_descriptors(), before);
  for (const auto& task : tasks) task.cancel();
  EXPECT_TRUE(eventually([&] { return peer.ended() == kConnects; }, 2s)) << peer.ended() << " closed";
  EXPECT_TRUE(eventually([&] { return open_descriptors() <= before; }, 2s))
      << open_descriptors() << " descriptors open, " << before << " before";
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(reported.load(), 0) << "a cancelled connect reported";
}

// A step of a task that does not listen for cancellation (as the Python
// connect's read of its settings on the interpreter thread): waits until
// `open`, which resumes the task through its own executor.
struct DeafStep {
  std::mutex mutex;
  std::function<void()> resume;
  std::promise<void> waiting;

  asio::awaitable<void> wait() {
    co_await asio::async_initiate<const asio::use_awaitable_t<>&, void()>(
        [this](auto handler) {
          auto shared = std::make_shared<decltype(handler)>(std::move(handler));
          auto executor = asio::get_associated_executor(*shared);
          {
            std::lock_guard lock(mutex);
            resume = [shared, executor] { asio::post(executor, [shared] { std::move(*shared)(); }); };
          }
          waiting.set_value();
        },
        asio::use_awaitable);
  }
  void open() {
    std::lock_guard lock(mutex);
    resume();
  }
};

asio::awaitable<int> connect_after(std::shared_ptr<DeafStep> step, std::string endpoint,
                                   std::shared_ptr<std::promise<Clock::duration>> took) {
  co_await step->wait();
  const auto started = Clock::now();
  auto connected = co_await RevizerGrpcClient::connect({endpoint, "token", std::nullopt}, 7000ms);
  took->set_value(Clock::now() - started);
  co_return 0;
}

// A cancellation that lands before the connect has begun, while the task
// waits in a step that does not listen for it, is recorded in the task's
// cancellation state but reaches no later operation by itself: the connect
// must look at it, and not open (or at once close) its socket. The order is
// fixed: the cancellation and the resumption are posted to the task's
// strand one after the other.
TEST_F(ChannelStalls, ACancelThatLandsBeforeTheConnectBeginsIsNotLost) {
  env_.set(kBoundHook, "5000");
  StallingPeer peer(StallingPeer::Mode::Silent);
  const std::string endpoint = peer.endpoint();
  for (int run = 0; run < 20; ++run) {
    auto step = std::make_shared<DeafStep>();
    auto took = std::make_shared<std::promise<Clock::duration>>();
    auto connect_ended = took->get_future();
    std::atomic<bool> reported{false};
    TaskHandle task = spawn_task<int>(Runtime::shared().executor(), connect_after(step, endpoint, took),
                                      [&reported](int) { reported = true; });
    step->waiting.get_future().wait();
    task.cancel();
    step->open();
    ASSERT_EQ(connect_ended.wait_for(2s), std::future_status::ready) << "run " << run << ": the connect ran on";
    EXPECT_LT(connect_ended.get(), 500ms) << "run " << run;
    EXPECT_TRUE(eventually([&] { return peer.ended() == peer.accepted(); }, 1s))
        << "run " << run << ": " << peer.accepted() << " accepted, " << peer.ended() << " closed";
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(reported.load()) << "run " << run << ": a cancelled task reported";
  }
}

// After a lost connection, a reconnect to a peer that accepts and says
// nothing: calls meanwhile end at their own deadlines, a short one made
// after a long one included; the failed attempt puts the channel in backoff
// (calls fail at once with its text); after the backoff a call attempts
// again. Dropping the client then closes that attempt's socket at once.
TEST_F(ChannelStalls, StalledReconnectLeavesCallsToTheirDeadlines) {
  env_.set(kBoundHook, "1500");
  StallingPeer peer(StallingPeer::Mode::Settings);
  auto connected = connect(peer.endpoint());
  ASSERT_TRUE(connected) << connect_error(connected);
  Client client = *connected;
  peer.set_mode(StallingPeer::Mode::Silent);
  peer.drop_all();
  ASSERT_TRUE(eventually([&] { return peer.ended() == 1; }, 2s));
  // The peer has closed; give the client's read loop time to see the end of
  // the stream, or the first call would go to the closed connection and
  // fail with its close instead of waiting for the new attempt.
  std::this_thread::sleep_for(200ms);

  const auto started = Clock::now();
  std::future<CallOutcome> long_call = std::async(std::launch::async, [&] { return call_once(client, "long", 1000ms); });
  std::this_thread::sleep_for(50ms);
  const CallOutcome short_call = call_once(client, "short", 200ms);
  const auto short_took = Clock::now() - started;
  EXPECT_EQ(outcome_text(short_call), "1 Timeout expired");
  EXPECT_LT(short_took, 50ms + 200ms + 400ms) << "a short deadline waited for a longer one";
  EXPECT_EQ(outcome_text(long_call.get()), "1 Timeout expired");
  EXPECT_LT(Clock::now() - started, 1000ms + 400ms);
  EXPECT_EQ(peer.accepted(), 2) << "one attempt at a time";

  // The attempt fails at its bound (1.5 s after it started); then, during
  // the backoff (at least 0.8 s), calls fail at once with its failure.
  std::this_thread::sleep_for(started + 1700ms - Clock::now());
  const auto fast_started = Clock::now();
  const CallOutcome during_backoff = call_once(client, "backoff", 5000ms);
  EXPECT_EQ(outcome_text(during_backoff), "14 transport error: connection attempt timed out after 1500 ms");
  EXPECT_LT(Clock::now() - fast_started, 200ms);

  // After the backoff (at most 1.2 s) the next call attempts again.
  std::this_thread::sleep_for(1300ms);
  std::future<CallOutcome> waiting = std::async(std::launch::async, [&] { return call_once(client, "again", 800ms); });
  ASSERT_TRUE(eventually([&] { return peer.accepted() == 3; }, 2s)) << "no new attempt after the backoff";
  client.reset();
  connected = RevizerGrpcClient::Connected(fail(RevizerClientError::transport("released")));
  // The call in flight holds the channel until its deadline ends it; the
  // channel then closes, and the attempt's socket with it, well before the
  // attempt's own bound (1.5 s).
  EXPECT_EQ(outcome_text(waiting.get()), "1 Timeout expired");
  EXPECT_TRUE(eventually([&] { return peer.ended() == 3; }, 300ms)) << "the attempt's socket stayed open";
}

// Through a real proxy that stops answering (tinyproxy, stopped by SIGSTOP)
// just as the channel reconnects: a call ends at its deadline, and once the
// proxy answers again the client recovers by itself.
TEST_F(ChannelStalls, ProxyThatStopsAnsweringMidReconnect) {
  env_.set(kBoundHook, "1000");
  revizer::testing::TempDir dir;
  peers::TinyproxyProcess proxy(dir.path());
  ASSERT_TRUE(proxy.ok());
  env_.unset("no_proxy");
  env_.unset("NO_PROXY");
  env_.set("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));
  peers::RevizerServerProcess server;
  ASSERT_TRUE(server.ok());
  auto connected = connect("http://" + server.address(), 500ms);
  ASSERT_TRUE(connected) << connect_error(connected);
  const Client& client = *connected;
  ASSERT_TRUE(adjudicate(client, {event("before")}));
  ASSERT_FALSE(adjudicate(client, {event("behave:close-connection")}));

  ASSERT_EQ(kill(proxy.pid(), SIGSTOP), 0);
  const auto started = Clock::now();
  const CallOutcome stalled = call_once(client, "stalled", 400ms);
  EXPECT_EQ(outcome_text(stalled), "1 Timeout expired");
  EXPECT_LT(Clock::now() - started, 400ms + 400ms);
  ASSERT_EQ(kill(proxy.pid(), SIGCONT), 0);

  // Recovery: after the failed attempt's backoff, a call gets through.
  bool recovered = false;
  const auto give_up = Clock::now() + 8s;
  while (!recovered && Clock::now() < give_up) {
    recovered = static_cast<bool>(call_once(client, "after", 2000ms));
    if (!recovered) std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(recovered) << "the client did not recover";
}

}  // namespace
}  // namespace revizer::client
