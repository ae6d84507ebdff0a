// How the connection reads a unary answer: exactly one message, the HTTP
// status and content type before "grpc-status", a body that is not gRPC's
// (an error page) judged by its head and dropped unread, and the
// connection's own failures (a broken peer, an allocation that fails)
// reported as such.
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

// The start of an error page: read as a message prefix, a length of 1.75 GB.
const std::string kPage = "<html><body>Service Unavailable</body></html>";

Fields page_head(const char* status, const char* type = "text/html") {
  Fields head = {{":status", status}};
  if (type) head.emplace_back("content-type", type);
  return head;
}

std::string mapped_from(int status) {
  return "grpc-status header missing, mapped from HTTP status code " + std::to_string(status);
}

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
      // Pages as proxies send them: a head, a body, no trailers.
      {"401 page", page_head("401"), {kPage}, {}, std::nullopt, GrpcCode::Unauthenticated, mapped_from(401)},
      {"429 page", page_head("429"), {kPage}, {}, std::nullopt, GrpcCode::Unavailable, mapped_from(429)},
      {"502 page", page_head("502"), {kPage}, {}, std::nullopt, GrpcCode::Unavailable, mapped_from(502)},
      {"503 page in two frames", page_head("503"), {kPage.substr(0, 3), kPage.substr(3)}, {}, std::nullopt,
       GrpcCode::Unavailable, mapped_from(503)},
      {"503 page typed as gRPC", page_head("503", "application/grpc"), {kPage}, {}, std::nullopt,
       GrpcCode::Unavailable, mapped_from(503)},
      {"200 page", page_head("200"), {kPage}, {}, std::nullopt, GrpcCode::Unknown, "invalid content-type: text/html"},
      {"200 page without a type", page_head("200", nullptr), {kPage}, {}, std::nullopt, GrpcCode::Unknown,
       "missing content-type"},
      {"200 page with trailers", page_head("200"), {kPage}, kOkTrailers, std::nullopt, GrpcCode::Unknown,
       "invalid content-type: text/html"},
  };
  for (const auto& c : cases) {
    OpenCall open;
    if (c.trailers.empty() && c.data.empty()) {
      open.peer.send_headers(open.stream_id, c.headers, true);
    } else if (c.trailers.empty()) {
      open.peer.send_headers(open.stream_id, c.headers, false);
      for (std::size_t i = 0; i < c.data.size(); ++i) {
        open.peer.send(kData, i + 1 == c.data.size() ? kEndStream : 0, open.stream_id, c.data[i]);
      }
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

TEST(Http2Answer, InformationalHeadsAreSkipped) {
  const struct {
    const char* name;
    Fields head;
    std::vector<std::string> data;
    std::optional<std::string> message;
    std::string error = {};
  } cases[] = {
      {"gRPC answer", kOkHeaders, {grpc_message("hi")}, "hi"},
      {"error page", page_head("503"), {kPage}, std::nullopt, mapped_from(503)},
  };
  for (const auto& c : cases) {
    OpenCall open;
    open.peer.send_headers(open.stream_id, {{":status", "100"}}, false);
    open.peer.send_headers(open.stream_id, {{":status", "103"}, {"content-type", "text/html"}}, false);
    if (c.message) {
      open.peer.answer(open.stream_id, c.head, c.data, kOkTrailers);
    } else {
      open.peer.send_headers(open.stream_id, c.head, false);
      open.peer.send(kData, kEndStream, open.stream_id, c.data.front());
    }
    const CallOutcome outcome = open.result();
    if (c.message) {
      ASSERT_TRUE(outcome) << c.name << ": " << outcome.error().message;
      EXPECT_EQ(*outcome, *c.message) << c.name;
    } else {
      ASSERT_FALSE(outcome) << c.name;
      EXPECT_EQ(outcome.error().message, c.error) << c.name;
    }
  }
}

TEST(Http2Answer, PageOfAnySizeDrainsUnread) {
  // Beyond the stream's receive window (8 MiB) and the largest message: the
  // page arrives only while the client returns the window, and the call
  // keeps none of it.
  constexpr std::size_t kPageBytes = 20 * 1024 * 1024;
  constexpr std::size_t kFrameBytes = 16 * 1024;
  OpenCall open;
  open.peer.send_headers(open.stream_id, page_head("503"), false);
  std::string frames;
  frames.reserve(kPageBytes + kPageBytes / kFrameBytes * 9);
  std::string chunk(kFrameBytes, 'x');
  chunk.replace(0, kPage.size(), kPage);
  for (std::size_t sent = 0; sent < kPageBytes; sent += kFrameBytes) {
    frames += frame_bytes(kData, sent + kFrameBytes >= kPageBytes ? kEndStream : 0, open.stream_id, chunk);
  }
  std::thread writer([&] { open.peer.write(frames); });
  const CallOutcome outcome = open.result();
  writer.join();
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().code, GrpcCode::Unavailable);
  EXPECT_EQ(outcome.error().message, mapped_from(503));
  EXPECT_EQ(open.peer.on_strand([&] { return open.call->data.capacity(); }), std::string().capacity());

  // The window came back for the whole page, and the connection goes on.
  std::size_t returned = 0;
  while (auto frame = open.peer.read_frame(200ms)) {
    if (frame->type == kWindowUpdate && frame->stream_id == open.stream_id) {
      const auto* p = reinterpret_cast<const unsigned char*>(frame->payload.data());
      returned += (std::size_t{p[0]} << 24 | std::size_t{p[1]} << 16 | std::size_t{p[2]} << 8 | p[3]) & 0x7fffffff;
    }
  }
  EXPECT_GE(returned, kPageBytes - 8 * 1024 * 1024);
  auto next = open.peer.submit(make_call());
  auto headers = open.peer.read_until(kHeaders);
  ASSERT_TRUE(headers);
  open.peer.answer(headers->stream_id, kOkHeaders, {grpc_message("hi")}, kOkTrailers);
  ASSERT_EQ(next.wait_for(10s), std::future_status::ready);
  const CallOutcome second = next.get();
  ASSERT_TRUE(second) << second.error().message;
  EXPECT_EQ(*second, "hi");
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
