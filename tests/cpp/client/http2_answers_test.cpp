// How the connection reads a unary answer: exactly one message, the HTTP
// status and content type before "grpc-status", and the connection's own
// failures (a broken peer, an allocation that fails) reported as such.
#include <gtest/gtest.h>

#include "revizer/client/http2/http2_test_hooks.h"
#include "tests/cpp/client/http2_scripted_peer.h"

namespace revizer::client::testing {
namespace {

using namespace std::chrono_literals;
using Fields = std::vector<std::pair<std::string, std::string>>;

const Fields kOkHeaders = {{":status", "200"}, {"content-type", "application/grpc"}};
const Fields kOkTrailers = {{"grpc-status", "0"}};

// A peer past the handshake, with one call whose request has arrived.
struct OpenCall {
  ScriptedPeer peer;
  std::shared_ptr<UnaryCall> call = make_call();
  std::future<CallOutcome> outcome;
  std::int32_t stream_id = 0;

  OpenCall() {
    peer.send_settings();
    outcome = peer.submit(call);
    auto headers = peer.read_until(kHeaders);
    if (!headers) throw std::runtime_error("no request arrived");
    stream_id = headers->stream_id;
  }
  CallOutcome result() {
    if (outcome.wait_for(10s) != std::future_status::ready) throw std::runtime_error("the call never finished");
    return outcome.get();
  }
};

TEST(Http2Answer, OutcomeOfAnswers) {
  const std::string hi = grpc_message("hi");
  const std::string kMore = "More than one value received for unary call";
  const struct {
    const char* name;
    Fields headers;
    std::vector<std::string> data;
    Fields trailers;  // empty: a trailers-only answer (the headers end the stream)
    std::optional<std::string> message;
    GrpcCode code = GrpcCode::Ok;
    std::string error = {};
  } cases[] = {
      {"one message", kOkHeaders, {hi}, kOkTrailers, "hi"},
      {"message split over frames", kOkHeaders, {hi.substr(0, 3), hi.substr(3, 3), hi.substr(6)}, kOkTrailers, "hi"},
      {"empty message", kOkHeaders, {grpc_message("")}, kOkTrailers, ""},
      {"content type with subtype", {{":status", "200"}, {"content-type", "application/grpc+proto"}}, {hi}, kOkTrailers, "hi"},
      {"content type with parameters", {{":status", "200"}, {"content-type", "application/grpc;charset=utf-8"}}, {hi}, kOkTrailers, "hi"},
      {"two messages in one frame", kOkHeaders, {hi + hi}, kOkTrailers, std::nullopt, GrpcCode::Internal, kMore},
      {"two messages in two frames", kOkHeaders, {hi, hi}, kOkTrailers, std::nullopt, GrpcCode::Internal, kMore},
      {"stray bytes after the message", kOkHeaders, {hi, std::string("\0\0", 2)}, kOkTrailers, std::nullopt, GrpcCode::Internal, kMore},
      {"HTTP 503 with grpc-status 0", {{":status", "503"}, {"content-type", "application/grpc"}}, {hi}, kOkTrailers,
       std::nullopt, GrpcCode::Unavailable, "grpc-status header missing, mapped from HTTP status code 503"},
      {"HTTP 404 page", {{":status", "404"}, {"content-type", "text/html"}}, {}, {},
       std::nullopt, GrpcCode::Unimplemented, "grpc-status header missing, mapped from HTTP status code 404"},
      {"HTML with 200", {{":status", "200"}, {"content-type", "text/html"}}, {hi}, kOkTrailers,
       std::nullopt, GrpcCode::Unknown, "invalid content-type: text/html"},
      {"content type only starting like gRPC", {{":status", "200"}, {"content-type", "application/grpcx"}}, {hi}, kOkTrailers,
       std::nullopt, GrpcCode::Unknown, "invalid content-type: application/grpcx"},
      {"no content type", {{":status", "200"}}, {hi}, kOkTrailers, std::nullopt, GrpcCode::Unknown, "missing content-type"},
      {"trailers-only status", {{":status", "200"}, {"content-type", "application/grpc"}, {"grpc-status", "5"}, {"grpc-message", "not%20here"}},
       {}, {}, std::nullopt, GrpcCode::NotFound, "not here"},
      {"no message", kOkHeaders, {}, kOkTrailers, std::nullopt, GrpcCode::Internal, "Missing response message."},
      {"ends inside the message", kOkHeaders, {hi.substr(0, 6)}, kOkTrailers, std::nullopt, GrpcCode::Internal,
       "protocol error: the answer ended inside a message"},
  };
  for (const auto& c : cases) {
    OpenCall open;
    if (c.trailers.empty()) {
      open.peer.send_headers(open.stream_id, c.headers, true);
    } else {
      open.peer.answer(open.stream_id, c.headers, c.data, c.trailers);
    }
    const CallOutcome outcome = open.result();
    if (c.message) {
      ASSERT_TRUE(outcome) << c.name << ": " << outcome.error().message;
      EXPECT_EQ(*outcome, *c.message) << c.name;
    } else {
      ASSERT_FALSE(outcome) << c.name;
      EXPECT_EQ(outcome.error().code, c.code) << c.name << ": " << outcome.error().message;
      EXPECT_EQ(outcome.error().message, c.error) << c.name;
    }
  }
}

TEST(Http2Answer, BrokenPeerFailsTheCallsWithTheProtocolError) {
  const struct {
    const char* name;
    std::function<void(ScriptedPeer&, std::int32_t)> send;
  } cases[] = {
      {"garbage frame", [](ScriptedPeer& peer, std::int32_t) { peer.write(std::string(9, '\xff')); }},
      {"oversized header block",
       [](ScriptedPeer& peer, std::int32_t stream_id) {
         const std::string block = header_block({{":status", "200"}, {"x-big", std::string(200'000, 'b')}});
         constexpr std::size_t kFrame = 16384;
         for (std::size_t at = 0; at < block.size(); at += kFrame) {
           const bool last = at + kFrame >= block.size();
           peer.send(at == 0 ? kHeaders : kContinuation, last ? kEndHeaders : 0, stream_id, block.substr(at, kFrame));
         }
       }},
      {"CONTINUATION flood",
       [](ScriptedPeer& peer, std::int32_t stream_id) {
         peer.send(kHeaders, 0, stream_id, header_block({{":status", "200"}}));
         std::string flood;
         for (int i = 0; i < 10'000; ++i) flood += frame_bytes(kContinuation, 0, stream_id, "");
         peer.write(flood);
       }},
  };
  for (const auto& c : cases) {
    OpenCall open;
    // A second call, still waiting behind a write, ends the same way.
    auto second = open.peer.submit(make_call());
    c.send(open.peer, open.stream_id);
    for (auto* outcome : {&open.outcome, &second}) {
      ASSERT_EQ(outcome->wait_for(10s), std::future_status::ready) << c.name;
      const CallOutcome result = outcome->get();
      ASSERT_FALSE(result) << c.name;
      EXPECT_EQ(result.error().code, GrpcCode::Internal) << c.name << ": " << result.error().message;
      EXPECT_TRUE(result.error().message.starts_with("HTTP/2 protocol error: ")) << c.name << ": " << result.error().message;
    }
    EXPECT_FALSE(open.peer.on_strand([&] { return open.peer.connection().usable(); })) << c.name;
  }
}

TEST(Http2Answer, AllocationFailureInsideTheSessionEndsTheConnection) {
  OpenCall open;
  auto second = open.peer.submit(make_call());
  ASSERT_TRUE(open.peer.read_until(kHeaders));
  http2_test_hooks::allocation_failures = 1;
  open.peer.answer(open.stream_id, kOkHeaders, {grpc_message("hi")}, kOkTrailers);
  for (auto* outcome : {&open.outcome, &second}) {
    ASSERT_EQ(outcome->wait_for(10s), std::future_status::ready);
    const CallOutcome result = outcome->get();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, GrpcCode::Internal);
    EXPECT_EQ(result.error().message, "HTTP/2 session failed: std::bad_alloc");
  }
  EXPECT_EQ(http2_test_hooks::allocation_failures.load(), 0);
  EXPECT_FALSE(open.peer.on_strand([&] { return open.peer.connection().usable(); }));
  EXPECT_FALSE(open.peer.on_strand([&] { return open.peer.connection().can_open_stream(); }));
}

}  // namespace
}  // namespace revizer::client::testing
