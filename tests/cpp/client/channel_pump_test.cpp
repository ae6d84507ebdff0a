// The channel's turn of opening streams for waiting calls, when the
// connection becomes unusable inside it (the session out of stream ids, or
// failing as it sends a request; both injected): the calls still waiting go
// to a new connection at once, not at the next call or deadline. The turn
// here is the one a new connection starts, after the server dropped the
// last one.
#include <gtest/gtest.h>

#include <asio/bind_executor.hpp>

#include "revizer/client/http2/http2_submit_hooks.h"
#include "tests/cpp/client/channel_peers.h"
#include "tests/cpp/common/scoped_env.h"
#include "tests/peers/revizer_server_process.h"

namespace revizer::client {
namespace {

using namespace test_support;
using namespace std::chrono_literals;

std::future<CallOutcome> start_call(Channel& channel, const std::string& trajectory, std::chrono::milliseconds timeout) {
  auto promise = std::make_shared<std::promise<CallOutcome>>();
  auto future = promise->get_future();
  channel.async_call(UnaryCallRequest{kAdjudicatesPath, {}, framed_request(trajectory), timeout},
                     asio::bind_executor(channel.executor(),
                                         [promise](CallOutcome outcome) { promise->set_value(std::move(outcome)); }));
  return future;
}

class ChannelPump : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "all_proxy", "HTTP_PROXY", "ALL_PROXY"}) env_.unset(name);
  }
  void TearDown() override {
    http2_test_hooks::stream_id_exhaustion = 0;
    http2_test_hooks::request_send_failures = 0;
  }
  revizer::testing::ScopedEnv env_;
};

TEST_F(ChannelPump, WaitingCallsGoToANewConnectionWhenTheTurnLosesIt) {
  const struct {
    const char* name;
    std::atomic<int>& fault;
    const char* first_waiting;  // the call whose submit meets the fault
  } cases[] = {
      // Nothing of it was sent: it goes to the new connection too.
      {"out of stream ids", http2_test_hooks::stream_id_exhaustion, "answered"},
      // Its request may have gone out: it fails with the session.
      {"the session fails sending", http2_test_hooks::request_send_failures,
       "13 HTTP/2 session failed: injected failure to send a request"},
  };
  for (const auto& c : cases) {
    peers::RevizerServerProcess server;
    ASSERT_TRUE(server.ok());
    auto connected = connect("http://" + server.address());
    ASSERT_TRUE(connected) << connect_error(connected);
    Channel& channel = (*connected)->read_state().channel->channel();
    // The server drops the connection: the next calls wait for a new one,
    // and its turn, once it is made, opens their streams.
    EXPECT_EQ(outcome_text(start_call(channel, "behave:close-connection", 10'000ms).get()).rfind("14 ", 0), 0u);
    c.fault = 1;
    // Deadlines well beyond the bounded wait below: a call left waiting on
    // the dead connection would end at its deadline, with "Timeout expired".
    std::vector<std::future<CallOutcome>> waiting;
    for (int i = 0; i < 3; ++i) waiting.push_back(start_call(channel, "waiting", 20'000ms));
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      ASSERT_EQ(waiting[i].wait_for(5s), std::future_status::ready) << c.name << ": call " << i << " still waits";
      EXPECT_EQ(outcome_text(waiting[i].get()), i == 0 ? c.first_waiting : "answered") << c.name << ": call " << i;
    }
    EXPECT_EQ(c.fault.load(), 0) << c.name << ": the fault was never met";
  }
}

}  // namespace
}  // namespace revizer::client
