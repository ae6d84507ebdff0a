// The connection's life as the channel drives it: the handshake, when a new
// stream may open, the change reports, and resets; against a scripted peer.
#include <gtest/gtest.h>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/this_coro.hpp>
#include <atomic>

#include "tests/cpp/client/http2_scripted_peer.h"

namespace revizer::client::testing {
namespace {

using namespace std::chrono_literals;

const std::vector<std::pair<std::string, std::string>> kOkHeaders = {{":status", "200"},
                                                                     {"content-type", "application/grpc"}};
const std::vector<std::pair<std::string, std::string>> kOkTrailers = {{"grpc-status", "0"}};

// Starts the handshake on the strand; the future holds its outcome.
std::future<Status<TransportFailure>> start_handshake(ScriptedPeer& peer, asio::cancellation_slot slot = {}) {
  auto connection = peer.connection_ptr();
  return asio::co_spawn(
      peer.strand(),
      [connection]() -> asio::awaitable<Status<TransportFailure>> {
        co_await asio::this_coro::reset_cancellation_state(asio::enable_partial_cancellation());
        co_return co_await connection->handshake();
      },
      asio::bind_cancellation_slot(slot, asio::use_future));
}

TEST(Http2Handshake, DoneWhenTheServerSettingsArrive) {
  ScriptedPeer peer;
  auto handshake = start_handshake(peer);
  ASSERT_TRUE(peer.read_until(kSettings)) << "our SETTINGS go out first";
  EXPECT_EQ(handshake.wait_for(100ms), std::future_status::timeout);
  EXPECT_FALSE(peer.on_strand([&] { return peer.connection().can_open_stream(); }));
  peer.send_settings();
  ASSERT_EQ(handshake.wait_for(5s), std::future_status::ready);
  EXPECT_TRUE(handshake.get());
  EXPECT_TRUE(peer.on_strand([&] { return peer.connection().can_open_stream(); }));
  // A later await completes at once.
  EXPECT_TRUE(start_handshake(peer).get());
}

TEST(Http2Handshake, FailsWhenThePeerIsNotHttp2) {
  const struct {
    const char* name;
    std::string reply;
    const char* expected;
  } cases[] = {
      {"HTTP/1.1 reply", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n", "transport error: HTTP/2 protocol error"},
      {"closed", "", "transport error: connection closed by the server: End of file"},
  };
  for (const auto& c : cases) {
    ScriptedPeer peer;
    auto handshake = start_handshake(peer);
    peer.write(c.reply);
    if (c.reply.empty()) peer.end_writes();
    ASSERT_EQ(handshake.wait_for(5s), std::future_status::ready) << c.name;
    auto outcome = handshake.get();
    ASSERT_FALSE(outcome) << c.name;
    EXPECT_TRUE(outcome.error().text().starts_with(c.expected)) << c.name << ": " << outcome.error().text();
    EXPECT_FALSE(peer.on_strand([&] { return peer.connection().usable(); })) << c.name;
  }
}

TEST(Http2Handshake, CancelledWaitEndsWithAFailure) {
  for (const auto type : {asio::cancellation_type::terminal, asio::cancellation_type::partial}) {
    ScriptedPeer peer;
    asio::cancellation_signal signal;
    auto handshake = start_handshake(peer, signal.slot());
    EXPECT_EQ(handshake.wait_for(50ms), std::future_status::timeout);
    peer.on_strand([&] { signal.emit(type); });
    ASSERT_EQ(handshake.wait_for(5s), std::future_status::ready);
    auto outcome = handshake.get();
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().text(), "transport error: HTTP/2 handshake cancelled");
  }
}

TEST(Http2Streams, ServerLimitAndChangeReports) {
  ScriptedPeer peer;
  std::atomic<int> changes = 0;
  peer.on_strand([&] { peer.connection().set_on_change([&] { ++changes; }); });
  peer.send_settings({{0x3 /* MAX_CONCURRENT_STREAMS */, 1}});
  ASSERT_TRUE(start_handshake(peer).get());
  const int after_settings = changes.load();
  EXPECT_GE(after_settings, 1);

  auto first = peer.submit(make_call());
  EXPECT_FALSE(peer.on_strand([&] { return peer.connection().can_open_stream(); })) << "the server allows one stream";
  auto headers = peer.read_until(kHeaders);
  ASSERT_TRUE(headers);
  peer.answer(headers->stream_id, kOkHeaders, {grpc_message("ok")}, kOkTrailers);
  ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(*first.get(), "ok");
  EXPECT_GT(changes.load(), after_settings) << "a closed stream frees a place";
  EXPECT_TRUE(peer.on_strand([&] { return peer.connection().can_open_stream(); }));

  // Raising the limit is reported too.
  peer.submit(make_call());
  const int before_raise = changes.load();
  peer.send_settings({{0x3, 10}});
  EXPECT_TRUE(eventually([&] { return changes.load() > before_raise; }));
  EXPECT_TRUE(peer.on_strand([&] { return peer.connection().can_open_stream(); }));

  // The end of the connection is reported, once it is no longer usable.
  const int before_end = changes.load();
  peer.close_peer();
  EXPECT_TRUE(eventually([&] { return !peer.on_strand([&] { return peer.connection().usable(); }); }));
  EXPECT_TRUE(eventually([&] { return changes.load() > before_end; }));
}

TEST(Http2Streams, ResetSendsCancelAndFreesTheStream) {
  ScriptedPeer peer;
  peer.send_settings();
  ASSERT_TRUE(start_handshake(peer).get());
  auto call = make_call();
  auto outcome = peer.submit(call);
  auto headers = peer.read_until(kHeaders);
  ASSERT_TRUE(headers);
  peer.on_strand([&] {
    call->finish(fail(grpc_status(GrpcCode::Cancelled, "Call cancelled")));
    peer.connection().reset(*call, false);
  });
  auto reset = peer.read_until(kRstStream);
  ASSERT_TRUE(reset);
  EXPECT_EQ(reset->stream_id, headers->stream_id);
  EXPECT_EQ(reset->payload, std::string("\0\0\0\x08", 4)) << "CANCEL";
  EXPECT_EQ(peer.on_strand([&] { return peer.connection().open_streams(); }), 0u);
  EXPECT_EQ(outcome.get().error().message, "Call cancelled");
}

}  // namespace
}  // namespace revizer::client::testing
