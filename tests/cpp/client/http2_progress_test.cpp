// A connection whose request bytes cannot go out (the peer reads nothing,
// or keeps a flow-control window closed) is closed once the bound passes,
// whatever the peer sends meanwhile; one whose bytes move slowly is kept.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/cpp/client/http2_scripted_peer.h"

namespace revizer::client::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kInitialWindowSize = 0x4;
constexpr std::uint8_t kWindowUpdate = 8;
constexpr std::uint32_t kWidestWindow = 0x7fffffff;
const std::vector<std::pair<std::string, std::string>> kOkHeaders = {{":status", "200"},
                                                                     {"content-type", "application/grpc"}};
const std::vector<std::pair<std::string, std::string>> kOkTrailers = {{"grpc-status", "0"}};

// The progress bound of connections started while it lives.
class ShortProgressBound {
 public:
  ShortProgressBound() { setenv("_TAVIMOR_TEST_PROGRESS_BOUND_MS", "300", 1); }
  ~ShortProgressBound() { unsetenv("_TAVIMOR_TEST_PROGRESS_BOUND_MS"); }
};

void window_update(ScriptedPeer& peer, std::int32_t stream_id, std::uint32_t increment) {
  std::string payload;
  for (int shift : {24, 16, 8, 0}) payload.push_back(static_cast<char>(increment >> shift));
  peer.send(kWindowUpdate, 0, stream_id, payload);
}

// Windows wide open, so only the socket holds request bytes back.
bool handshake_with_open_windows(ScriptedPeer& peer) {
  if (!peer.complete_handshake({{kInitialWindowSize, kWidestWindow}})) return false;
  window_update(peer, 0, kWidestWindow - 65535);
  return true;
}

bool ready(std::future<CallOutcome>& outcome) { return outcome.wait_for(0s) == std::future_status::ready; }

bool usable(ScriptedPeer& peer) {
  return peer.on_strand([&] { return peer.connection().usable(); });
}

TEST(Http2Progress, RequestHeldByAClosedWindowClosesTheConnection) {
  const struct {
    const char* name;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> settings;
    std::size_t body;
  } cases[] = {
      {"stream window closed", {{kInitialWindowSize, 0}}, 3},
      // Stream windows wide open; the connection's 64 KiB is used up and never granted again.
      {"connection window used up", {{kInitialWindowSize, kWidestWindow}}, 100 * 1024},
  };
  for (const auto& c : cases) {
    ShortProgressBound short_bound;
    ScriptedPeer peer;
    ASSERT_TRUE(peer.complete_handshake(c.settings)) << c.name;
    const auto sent = Clock::now();
    auto outcome = peer.submit(make_call(c.body));
    // The peer reads all it is sent and answers its PINGs: only the window stays closed.
    const auto until = Clock::now() + 5s;
    while (!ready(outcome) && Clock::now() < until) {
      if (auto frame = peer.read_frame(50ms); frame && frame->type == kPing && !(frame->flags & kAck)) {
        peer.send(kPing, kAck, 0, frame->payload);
      }
    }
    ASSERT_TRUE(ready(outcome)) << c.name;
    const CallOutcome result = outcome.get();
    EXPECT_GE(Clock::now() - sent, 300ms) << c.name;
    ASSERT_FALSE(result) << c.name;
    EXPECT_EQ(result.error().code, GrpcCode::Unavailable) << c.name;
    EXPECT_EQ(result.error().message,
              "connection stalled: no request byte could be sent for 300 ms (the server keeps its flow-control "
              "window closed)")
        << c.name;
    EXPECT_FALSE(usable(peer)) << c.name;
  }
}

TEST(Http2Progress, PeerThatReadsNothingIsClosedThoughItPings) {
  ShortProgressBound short_bound;
  ScriptedPeer peer;
  ASSERT_TRUE(handshake_with_open_windows(peer));
  ASSERT_TRUE(eventually([&] { return peer.on_strand([&] { return peer.connection().can_open_stream(); }); }));
  // From here on the peer reads nothing; requests fill the socket until no stream may open.
  std::vector<std::future<CallOutcome>> outcomes;
  while (outcomes.size() < 100 && peer.on_strand([&] { return peer.connection().can_open_stream(); })) {
    outcomes.push_back(peer.submit(make_call(64 * 1024)));
  }
  const auto until = Clock::now() + 5s;
  while (!ready(outcomes.back()) && Clock::now() < until) {
    peer.send(kPing, 0, 0, std::string(8, 'p'));
    std::this_thread::sleep_for(100ms);
  }
  for (auto& outcome : outcomes) {
    ASSERT_TRUE(ready(outcome));
    const CallOutcome result = outcome.get();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, GrpcCode::Unavailable);
    EXPECT_EQ(result.error().message, "connection stalled: no request byte could be sent for 300 ms (the server reads nothing)");
  }
  EXPECT_FALSE(usable(peer));
}

// Request bytes that move slower than the bound allows for the whole request
// but never stop for the bound: the call is answered on the same connection.
TEST(Http2Progress, SlowProgressIsNoStall) {
  // How the peer paces the request: run after every frame it reads (or after
  // a short wait without one).
  using Pace = std::function<void(ScriptedPeer&, const std::optional<Frame>&)>;
  auto read_since_grant = std::make_shared<std::size_t>(0);
  const struct {
    const char* name;
    bool windows_open;
    std::size_t body;
    Pace pace;
  } cases[] = {
      // One 16 KiB frame read every 10 ms: each write of about 1 MiB takes
      // longer than the bound, moving some bytes all along.
      {"a large request read slowly", true, 2 * 1024 * 1024,
       [](ScriptedPeer&, const std::optional<Frame>&) { std::this_thread::sleep_for(10ms); }},
      {"a closed stream window opened bit by bit", false, 8 * 1024,
       [](ScriptedPeer& peer, const std::optional<Frame>&) {
         std::this_thread::sleep_for(100ms);
         window_update(peer, 1, 1024);
       }},
      // The connection's 64 KiB go out at once into the socket, and the peer
      // grants them again only once it has read them all, a frame every
      // 150 ms: the window stays closed for longer than the bound while
      // what it allowed is still on its way.
      {"a connection window granted once a slow link delivered it", false, 128 * 1024,
       [read_since_grant](ScriptedPeer& peer, const std::optional<Frame>& frame) {
         if (!frame || frame->type != kData) return;
         std::this_thread::sleep_for(150ms);
         *read_since_grant += frame->payload.size();
         if (*read_since_grant >= 65535) {
           window_update(peer, 0, static_cast<std::uint32_t>(*read_since_grant));
           *read_since_grant = 0;
         }
       }},
  };
  for (const auto& c : cases) {
    ShortProgressBound short_bound;
    ScriptedPeer peer;
    if (c.windows_open) {
      ASSERT_TRUE(handshake_with_open_windows(peer)) << c.name;
    } else if (c.body > 64 * 1024) {
      ASSERT_TRUE(peer.complete_handshake({{kInitialWindowSize, kWidestWindow}})) << c.name;
    } else {
      ASSERT_TRUE(peer.complete_handshake({{kInitialWindowSize, 0}})) << c.name;
    }
    const auto sent = Clock::now();
    auto outcome = peer.submit(make_call(c.body));
    bool request_ended = false;
    const auto until = Clock::now() + 10s;
    while (!request_ended && !ready(outcome) && Clock::now() < until) {
      auto frame = peer.read_frame(20ms);
      if (frame && frame->type == kPing && !(frame->flags & kAck)) peer.send(kPing, kAck, 0, frame->payload);
      request_ended = frame && frame->type == kData && (frame->flags & kEndStream);
      if (!request_ended) c.pace(peer, frame);
    }
    if (!request_ended && ready(outcome)) FAIL() << c.name << ": the call ended: " << outcome.get().error().message;
    ASSERT_TRUE(request_ended) << c.name;
    ASSERT_GT(Clock::now() - sent, 600ms) << c.name << ": the request went out too fast to show anything";
    peer.answer(1, kOkHeaders, {grpc_message("ok")}, kOkTrailers);
    ASSERT_EQ(outcome.wait_for(5s), std::future_status::ready) << c.name;
    const CallOutcome result = outcome.get();
    ASSERT_TRUE(result) << c.name << ": " << result.error().message;
    EXPECT_EQ(*result, "ok") << c.name;
    EXPECT_TRUE(usable(peer)) << c.name;
  }
}

}  // namespace
}  // namespace revizer::client::testing
