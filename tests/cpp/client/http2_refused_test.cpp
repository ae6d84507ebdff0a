// Streams the server never processed, against a scripted peer: the calls
// of streams above a GOAWAY's last stream id, of a request still unsent
// when the GOAWAY came, of a REFUSED_STREAM reset and of a session out of
// stream ids are handed back, clean, to be sent again; a stream whose
// answer began, a call that has ended and a call past its deadline are not.
#include <gtest/gtest.h>

#include <mutex>

#include "revizer/client/http2/http2_submit_hooks.h"
#include "tests/cpp/client/http2_scripted_peer.h"

namespace revizer::client::testing {
namespace {

using namespace std::chrono_literals;

const std::vector<std::pair<std::string, std::string>> kOkHeaders = {{":status", "200"},
                                                                     {"content-type", "application/grpc"}};
const std::vector<std::pair<std::string, std::string>> kOkTrailers = {{"grpc-status", "0"}};
constexpr std::uint32_t kRefusedStream = 0x7;

std::string goaway(std::int32_t last_stream_id) {
  std::string payload;
  for (int shift : {24, 16, 8, 0}) payload.push_back(static_cast<char>(static_cast<std::uint32_t>(last_stream_id) >> shift));
  payload.append(4, '\0');  // NO_ERROR
  return payload;
}

std::string error_code(std::uint32_t code) {
  std::string payload;
  for (int shift : {24, 16, 8, 0}) payload.push_back(static_cast<char>(code >> shift));
  return payload;
}

// The calls the connection hands back, as the channel would take them.
struct HandedBack {
  std::mutex mutex;
  std::vector<std::shared_ptr<UnaryCall>> calls;

  explicit HandedBack(ScriptedPeer& peer) {
    peer.on_strand([&] {
      peer.connection().set_on_unprocessed([this](Http2Connection::Unprocessed unprocessed) {
        std::lock_guard lock(mutex);
        for (auto& call : unprocessed) calls.push_back(std::move(call));
      });
    });
  }
  std::size_t size() {
    std::lock_guard lock(mutex);
    return calls.size();
  }
};

void expect_clean(const UnaryCall& call, const char* name) {
  EXPECT_EQ(call.stream_id, -1) << name;
  EXPECT_EQ(call.body_sent, 0u) << name;
  EXPECT_EQ(call.http_status, 0) << name;
  EXPECT_FALSE(call.answer_began) << name;
  EXPECT_FALSE(call.failure) << name;
  EXPECT_TRUE(call.data.empty()) << name;
  EXPECT_TRUE(call.connection.expired()) << name;
  EXPECT_FALSE(call.finished) << name;
  EXPECT_EQ(call.resends, 1) << name;
}

bool usable(ScriptedPeer& peer) {
  return peer.on_strand([&] { return peer.connection().usable(); });
}

// The streams above the last stream id come back in the order they were
// sent; the one below it is answered, and the connection, which takes no
// new stream, closes once it has.
TEST(Http2Refused, StreamsAboveTheGoawayComeBack) {
  ScriptedPeer peer;
  HandedBack handed_back(peer);
  ASSERT_TRUE(peer.complete_handshake());
  std::vector<std::shared_ptr<UnaryCall>> calls;
  std::vector<std::future<CallOutcome>> outcomes;
  std::vector<std::int32_t> stream_ids;
  for (int i = 0; i < 3; ++i) {
    calls.push_back(make_call());
    outcomes.push_back(peer.submit(calls.back()));
    auto headers = peer.read_until(kHeaders);
    ASSERT_TRUE(headers);
    stream_ids.push_back(headers->stream_id);
  }
  peer.send(kGoaway, 0, 0, goaway(stream_ids[0]));
  ASSERT_TRUE(eventually([&] { return handed_back.size() == 2; })) << handed_back.size() << " handed back";
  EXPECT_FALSE(usable(peer));
  peer.on_strand([&] {
    EXPECT_EQ(handed_back.calls[0], calls[1]);
    EXPECT_EQ(handed_back.calls[1], calls[2]);
    for (const auto& call : handed_back.calls) expect_clean(*call, "above the last stream id");
  });
  EXPECT_EQ(outcomes[1].wait_for(0s), std::future_status::timeout) << "a handed-back call has not ended";

  peer.answer(stream_ids[0], kOkHeaders, {grpc_message("first")}, kOkTrailers);
  ASSERT_EQ(outcomes[0].wait_for(5s), std::future_status::ready);
  EXPECT_EQ(*outcomes[0].get(), "first");
  EXPECT_EQ(peer.on_strand([&] { return peer.connection().open_streams(); }), 0u);
}

// A request the session still held when the GOAWAY came (the peer had
// stopped reading) is never sent: the session refuses it once the writes
// drain, and it comes back.
TEST(Http2Refused, RequestUnsentAtTheGoawayComesBack) {
  ScriptedPeer peer;
  HandedBack handed_back(peer);
  ASSERT_TRUE(peer.complete_handshake({{0x4 /* INITIAL_WINDOW_SIZE */, 0x7fffffff}}));
  std::string window_update(4, '\0');
  window_update[0] = 0x7f;
  window_update[1] = window_update[2] = window_update[3] = '\xf0';
  peer.send(8 /* WINDOW_UPDATE */, 0, 0, window_update);
  ASSERT_TRUE(eventually([&] { return peer.on_strand([&] { return peer.connection().can_open_stream(); }); }));

  // Bodies far larger than the socket's buffer and the connection's
  // outgoing bound. The first fills a write that cannot finish (the peer
  // reads nothing yet), the second the outgoing buffer behind it, so the
  // third request stays in the session. One turn of the strand: no write
  // completes in between.
  std::vector<std::shared_ptr<UnaryCall>> calls = {make_call(4 * 1024 * 1024), make_call(4 * 1024 * 1024), make_call()};
  std::vector<std::future<CallOutcome>> outcomes;
  for (auto& call : calls) {
    auto promise = std::make_shared<std::promise<CallOutcome>>();
    outcomes.push_back(promise->get_future());
    call->completion = CallCompletion([promise](CallOutcome outcome) { promise->set_value(std::move(outcome)); },
                                      peer.context().get_executor());
  }
  peer.on_strand([&] {
    for (auto& call : calls) peer.connection().submit(call);
  });
  peer.send(kGoaway, 0, 0, goaway(3));
  EXPECT_TRUE(eventually([&] { return !usable(peer); }));
  EXPECT_EQ(handed_back.size(), 0u) << "handed back before the writes drained";

  // The peer reads everything now.
  bool unsent_seen = false;
  int bodies_ended = 0;
  while (bodies_ended < 2) {
    auto frame = peer.read_frame(5s);
    ASSERT_TRUE(frame) << "the request bodies did not arrive";
    if (frame->stream_id == 5) unsent_seen = true;
    if (frame->type == kData && (frame->flags & kEndStream)) ++bodies_ended;
  }
  EXPECT_FALSE(unsent_seen) << "the request went out after the GOAWAY";
  ASSERT_TRUE(eventually([&] { return handed_back.size() == 1; }));
  peer.on_strand([&] {
    EXPECT_EQ(handed_back.calls[0], calls[2]);
    expect_clean(*calls[2], "unsent");
  });
  for (std::int32_t stream_id : {1, 3}) peer.answer(stream_id, kOkHeaders, {grpc_message("large")}, kOkTrailers);
  for (int i : {0, 1}) {
    ASSERT_EQ(outcomes[i].wait_for(5s), std::future_status::ready);
    EXPECT_EQ(*outcomes[i].get(), "large");
  }
}

// A REFUSED_STREAM reset, and what keeps a call from being sent again.
TEST(Http2Refused, RefusedStreamComesBackUnlessProcessedOrOver) {
  enum class Before { Nothing, AnswerHeaders, CallEnded, DeadlinePassed };
  const struct {
    const char* name;
    Before before;
    bool handed_back;
    const char* outcome;  // of a call not handed back
  } cases[] = {
      {"refused before any answer", Before::Nothing, true, nullptr},
      {"refused after the answer began", Before::AnswerHeaders, false, "stream reset by the server: REFUSED_STREAM"},
      {"the call had ended (cancelled)", Before::CallEnded, false, "Call cancelled"},
      {"past the call's deadline", Before::DeadlinePassed, false, "Timeout expired"},
  };
  for (const auto& c : cases) {
    ScriptedPeer peer;
    HandedBack handed_back(peer);
    ASSERT_TRUE(peer.complete_handshake());
    auto call = make_call();
    auto outcome = peer.submit(call);
    auto headers = peer.read_until(kHeaders);
    ASSERT_TRUE(headers) << c.name;
    switch (c.before) {
      case Before::Nothing: break;
      case Before::AnswerHeaders:
        peer.send_headers(headers->stream_id, kOkHeaders, false);
        ASSERT_TRUE(eventually([&] { return peer.on_strand([&] { return call->answer_began; }); })) << c.name;
        break;
      case Before::CallEnded:
        // Ended as the channel ends a cancelled call, its reset not yet sent.
        peer.on_strand([&] { call->finish(fail(grpc_status(GrpcCode::Cancelled, "Call cancelled"))); });
        break;
      case Before::DeadlinePassed:
        peer.on_strand([&] {
          call->deadline = UnaryCall::Clock::now() - 1ms;
          call->deadline_armed = true;
        });
        break;
    }
    peer.send(kRstStream, 0, headers->stream_id, error_code(kRefusedStream));
    if (c.handed_back) {
      ASSERT_TRUE(eventually([&] { return handed_back.size() == 1; })) << c.name;
      peer.on_strand([&] { expect_clean(*call, c.name); });
      EXPECT_TRUE(usable(peer)) << c.name << ": a refused stream leaves the connection usable";
      EXPECT_EQ(outcome.wait_for(0s), std::future_status::timeout) << c.name;
    } else {
      ASSERT_EQ(outcome.wait_for(5s), std::future_status::ready) << c.name;
      auto ended = outcome.get();
      ASSERT_FALSE(ended) << c.name;
      EXPECT_EQ(ended.error().message, c.outcome) << c.name;
      EXPECT_EQ(handed_back.size(), 0u) << c.name;
    }
  }
}

// Without a channel to take them, refused calls fail as before.
TEST(Http2Refused, WithoutATakerARefusedCallFails) {
  ScriptedPeer peer;
  ASSERT_TRUE(peer.complete_handshake());
  auto outcome = peer.submit(make_call());
  auto headers = peer.read_until(kHeaders);
  ASSERT_TRUE(headers);
  peer.send(kRstStream, 0, headers->stream_id, error_code(kRefusedStream));
  ASSERT_EQ(outcome.wait_for(5s), std::future_status::ready);
  auto ended = outcome.get();
  ASSERT_FALSE(ended);
  EXPECT_EQ(ended.error().code, GrpcCode::Unavailable);
  EXPECT_EQ(ended.error().message, "stream reset by the server: REFUSED_STREAM");
}

// A session out of stream ids sends nothing of the call: it comes back, and
// the connection, now unusable, closes as its last stream ends.
TEST(Http2Refused, OutOfStreamIdsHandsTheCallBack) {
  ScriptedPeer peer;
  HandedBack handed_back(peer);
  ASSERT_TRUE(peer.complete_handshake());
  auto open = make_call();
  auto open_outcome = peer.submit(open);
  auto headers = peer.read_until(kHeaders);
  ASSERT_TRUE(headers);
  http2_test_hooks::stream_id_exhaustion = 1;
  auto call = make_call();
  auto outcome = peer.submit(call);
  EXPECT_EQ(http2_test_hooks::stream_id_exhaustion.load(), 0);
  ASSERT_EQ(handed_back.size(), 1u);
  peer.on_strand([&] {
    EXPECT_EQ(handed_back.calls[0], call);
    expect_clean(*call, "out of stream ids");
    EXPECT_FALSE(peer.connection().usable());
  });
  peer.answer(headers->stream_id, kOkHeaders, {grpc_message("open")}, kOkTrailers);
  ASSERT_EQ(open_outcome.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(*open_outcome.get(), "open");
  EXPECT_EQ(peer.on_strand([&] { return peer.connection().open_streams(); }), 0u);
}

}  // namespace
}  // namespace revizer::client::testing
