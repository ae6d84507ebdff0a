// A connection whose peer went silent or stopped reading is found and
// closed, with its memory bounded meanwhile; a lost connection says why.
#include <gtest/gtest.h>

#include <cstdlib>

#include "revizer/client/errors/status_text.h"
#include "tests/cpp/client/http2_scripted_peer.h"

namespace revizer::client::testing {
namespace {

using namespace std::chrono_literals;

// The ping bound of connections started while it lives.
class ShortPingTimeout {
 public:
  ShortPingTimeout() { setenv("_TAVIMOR_TEST_PING_TIMEOUT_MS", "300", 1); }
  ~ShortPingTimeout() { unsetenv("_TAVIMOR_TEST_PING_TIMEOUT_MS"); }
};

// Abandons `call` as the channel does when its deadline passes or its caller gives up.
void abandon(ScriptedPeer& peer, const std::shared_ptr<UnaryCall>& call, bool timed_out) {
  peer.on_strand([&] {
    call->finish(fail(grpc_status(GrpcCode::Cancelled, timed_out ? "Timeout expired" : "Call cancelled")));
    peer.connection().reset(*call, timed_out);
  });
}

bool usable(ScriptedPeer& peer) {
  return peer.on_strand([&] { return peer.connection().usable(); });
}

TEST(Http2Liveness, PingOnlyForATimeoutOnASilentConnection) {
  // What the server sends after the request went out, before the call ends.
  enum class Since { Nothing, Settings, ItsOwnPing };
  const struct {
    const char* name;
    bool timed_out;
    Since server_sent;
    bool ping_expected;
  } cases[] = {
      {"timeout, silent server", true, Since::Nothing, true},
      {"cancel, silent server", false, Since::Nothing, false},
      {"timeout, server spoke since", true, Since::Settings, false},
      // Its own PINGs do not show that it reads: a peer that stopped reading can send them.
      {"timeout, server only pinged since", true, Since::ItsOwnPing, true},
  };
  for (const auto& c : cases) {
    ShortPingTimeout short_ping;
    ScriptedPeer peer;
    ASSERT_TRUE(peer.complete_handshake());
    auto call = make_call();
    peer.submit(call);
    ASSERT_TRUE(peer.read_until(kHeaders)) << c.name;
    if (c.server_sent == Since::Settings) {
      peer.send_settings();
      auto ack = peer.read_until(kSettings);
      ASSERT_TRUE(ack && (ack->flags & kAck)) << c.name;
    } else if (c.server_sent == Since::ItsOwnPing) {
      peer.send(kPing, 0, 0, std::string(8, 'p'));
      auto ack = peer.read_until(kPing);
      ASSERT_TRUE(ack && (ack->flags & kAck)) << c.name;
    }
    abandon(peer, call, c.timed_out);
    std::optional<Frame> ping;
    while (auto frame = peer.read_frame(200ms)) {
      if (frame->type == kPing && !(frame->flags & kAck)) ping = frame;
    }
    EXPECT_EQ(ping.has_value(), c.ping_expected) << c.name;
    if (!c.ping_expected) {
      // Nothing to time out: the connection stays.
      std::this_thread::sleep_for(400ms);
      EXPECT_TRUE(usable(peer)) << c.name;
    }
  }
}

TEST(Http2Liveness, UnansweredPingClosesTheConnection) {
  ShortPingTimeout short_ping;
  ScriptedPeer peer;
  std::atomic<bool> ended_reported = false;
  peer.on_strand([&] {
    peer.connection().set_on_change([&] {
      if (!peer.connection().usable()) ended_reported = true;
    });
  });
  ASSERT_TRUE(peer.complete_handshake());
  auto call = make_call();
  peer.submit(call);
  ASSERT_TRUE(peer.read_until(kHeaders));
  auto waiting = peer.submit(make_call());
  abandon(peer, call, true);
  ASSERT_TRUE(peer.read_until(kPing));
  // PINGs of its own meanwhile do not answer ours.
  for (int i = 0; i < 2; ++i) {
    peer.send(kPing, 0, 0, std::string(8, 'p'));
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  const CallOutcome outcome = waiting.get();
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().code, GrpcCode::Unavailable);
  EXPECT_EQ(outcome.error().message, "connection lost: the server did not answer a ping within 300 ms");
  EXPECT_EQ(outcome.error().source, "the server did not answer a ping within 300 ms");
  EXPECT_FALSE(usable(peer));
  EXPECT_TRUE(ended_reported);
}

TEST(Http2Liveness, AnsweredPingKeepsTheConnection) {
  ShortPingTimeout short_ping;
  ScriptedPeer peer;
  ASSERT_TRUE(peer.complete_handshake());
  auto call = make_call();
  peer.submit(call);
  ASSERT_TRUE(peer.read_until(kHeaders));
  abandon(peer, call, true);
  auto ping = peer.read_until(kPing);
  ASSERT_TRUE(ping);
  peer.send(kPing, kAck, 0, ping->payload);
  std::this_thread::sleep_for(600ms);
  EXPECT_TRUE(usable(peer));
  EXPECT_TRUE(peer.on_strand([&] { return peer.connection().can_open_stream(); }));
}

TEST(Http2Liveness, PeerThatStopsReadingStopsNewStreamsAndIsDropped) {
  ShortPingTimeout short_ping;
  ScriptedPeer peer;
  // Windows wide open, so request bodies flow until the socket is full.
  ASSERT_TRUE(peer.complete_handshake({{0x4 /* INITIAL_WINDOW_SIZE */, 0x7fffffff}}));
  std::string window_update(4, '\0');
  window_update[0] = 0x7f;
  window_update[1] = window_update[2] = window_update[3] = '\xf0';
  peer.send(8 /* WINDOW_UPDATE */, 0, 0, window_update);
  ASSERT_TRUE(eventually([&] { return peer.on_strand([&] { return peer.connection().can_open_stream(); }); }));

  // The peer reads nothing from here on.
  std::vector<std::shared_ptr<UnaryCall>> calls;
  std::vector<std::future<CallOutcome>> outcomes;
  constexpr std::size_t kBody = 64 * 1024;
  constexpr std::size_t kMostCalls = 400;  // 25 MiB of requests: far beyond the bound
  while (calls.size() < kMostCalls && peer.on_strand([&] { return peer.connection().can_open_stream(); })) {
    calls.push_back(make_call(kBody));
    outcomes.push_back(peer.submit(calls.back()));
  }
  EXPECT_LT(calls.size(), kMostCalls) << "new streams stop while the writes do not drain";
  EXPECT_TRUE(usable(peer));

  // Every call times out; the resets cannot go out either, and the unanswered
  // ping ends the connection, releasing them all.
  for (auto& call : calls) abandon(peer, call, true);
  EXPECT_TRUE(eventually([&] { return !usable(peer); }));
  EXPECT_EQ(peer.on_strand([&] { return peer.connection().open_streams(); }), 0u);
  for (auto& outcome : outcomes) ASSERT_EQ(outcome.wait_for(5s), std::future_status::ready);
}

TEST(Http2Liveness, LostConnectionCarriesTheSystemError) {
  const struct {
    const char* name;
    void (ScriptedPeer::*end)();
    const char* message;  // the start of it
    const char* source;   // the start of it
  } cases[] = {
      // Closing with our bytes unread resets the connection.
      {"reset", &ScriptedPeer::close_peer, "connection lost: Connection reset by peer", "Connection reset by peer"},
      {"clean close", &ScriptedPeer::end_writes, "connection closed by the server", "End of file"},
  };
  for (const auto& c : cases) {
    ScriptedPeer peer;
    auto outcome = peer.submit(make_call());
    std::this_thread::sleep_for(50ms);
    (peer.*c.end)();
    ASSERT_EQ(outcome.wait_for(5s), std::future_status::ready) << c.name;
    const CallOutcome result = outcome.get();
    ASSERT_FALSE(result) << c.name;
    EXPECT_EQ(result.error().code, GrpcCode::Unavailable) << c.name;
    EXPECT_TRUE(result.error().message.starts_with(c.message)) << c.name << ": " << result.error().message;
    ASSERT_TRUE(result.error().source) << c.name;
    EXPECT_TRUE(result.error().source->starts_with(c.source)) << c.name << ": " << *result.error().source;
    std::string text;
    append_status_text(text, result.error());
    EXPECT_EQ(text, "code: 'The service is currently unavailable', message: \"" + result.error().message +
                        "\", source: " + *result.error().source) << c.name;
  }
}

}  // namespace
}  // namespace revizer::client::testing
