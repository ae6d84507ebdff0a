// The Adjudicates call end to end against real gRPC servers we did not
// write: the gRPC C++ library's server and grpcio's, each with the test
// behaviours of tests/peers/README.md, started by the tests on loopback.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <future>

#include "model/json/reader.h"
#include "revizer/client/client_state.h"
#include "tests/cpp/client/client_fixture.h"
#include "tests/peers/h2_relay.h"
#include "tests/peers/loopback_server.h"
#include "tests/peers/revizer_server_process.h"
#include <thread>

namespace revizer::client {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using peers::RevizerServerOptions;
using peers::RevizerServerProcess;

enum class Peer { Cpp, Grpcio };

// One server of each kind for the whole run.
RevizerServerProcess& server(Peer peer) {
  static std::array<std::unique_ptr<RevizerServerProcess>, 2> servers;
  auto& slot = servers[static_cast<int>(peer)];
  if (!slot) {
    RevizerServerOptions options;
    options.grpcio = peer == Peer::Grpcio;
    slot = std::make_unique<RevizerServerProcess>(options);
  }
  return *slot;
}

class AdjudicatesPeer : public ::testing::TestWithParam<Peer> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server(GetParam()).ok()) << "the test server did not start";
    endpoint_ = "http://" + server(GetParam()).address();
  }
  Client client(std::chrono::milliseconds timeout = 7000ms, std::optional<std::string> iap = std::nullopt) {
    auto connected = connect(endpoint_, timeout, "test-token", std::move(iap));
    EXPECT_TRUE(connected) << text_of(connected.error());
    return connected ? *connected : nullptr;
  }
  std::string endpoint_;
};

// (Built with append: GCC 12 misreports `"text" + std::to_string(i)` under -Wrestrict.)
std::string numbered(std::string prefix, int i) { return prefix.append(std::to_string(i)); }

std::string status_error_text(const Answers& answers) { return answers ? "<no error>" : text_of(answers.error()); }

// A "grpc-timeout" value in nanoseconds (-1 when it does not read as one).
std::int64_t grpc_timeout_nanos(const std::string& text) {
  if (text.size() < 2) return -1;
  std::int64_t unit = 0;
  switch (text.back()) {
    case 'n': unit = 1; break;
    case 'u': unit = 1'000; break;
    case 'm': unit = 1'000'000; break;
    case 'S': unit = 1'000'000'000; break;
    default: return -1;
  }
  return std::stoll(text.substr(0, text.size() - 1)) * unit;
}

// The request headers of a behave:metadata answer.
json::Object metadata_of(const Answers& answers) {
  EXPECT_TRUE(answers) << status_error_text(answers);
  auto parsed = json::parse(answers ? reason_of((*answers)[0]) : "{}");
  return parsed ? parsed->as_object() : json::Object();
}

TEST_P(AdjudicatesPeer, EmptyListIsOneCallWithNoEvents) {
  auto answers = adjudicate(client(), {});
  ASSERT_TRUE(answers) << status_error_text(answers);
  EXPECT_TRUE(answers->empty());
}

TEST_P(AdjudicatesPeer, OneEventTravelsAsSent) {
  auto answers = adjudicate(client(), {event("behave:echo", "evt-echo")});
  ASSERT_TRUE(answers) << status_error_text(answers);
  ASSERT_EQ(answers->size(), 1u);
  auto echoed = json::parse((*answers)[0].find("reason")->as_string());
  ASSERT_TRUE(echoed);
  const json::Object& request = echoed->as_object();
  EXPECT_EQ(request.find("event_id")->as_string(), "evt-echo");
  EXPECT_EQ(request.find("agent_id")->as_string(), "agent-1");
  EXPECT_EQ(request.find("event_name")->as_string(), "tool_call");
  EXPECT_EQ(request.find("payload")->as_object().find("event_id")->as_string(), "evt-echo");
}

TEST_P(AdjudicatesPeer, ExactlySixteenMebibytesIsSentAndOneByteMoreIsRefused) {
  auto c = client();
  auto answers = adjudicate(c, {event_of_cost("limit", kRequestLimit)});
  ASSERT_TRUE(answers) << status_error_text(answers);
  EXPECT_EQ(answers->size(), 1u);

  auto refused = adjudicate(c, {event("small", "a"), event_of_cost("limit", kRequestLimit + 1)});
  ASSERT_FALSE(refused);
  EXPECT_EQ(text_of(refused.error()),
            "adjudication event 1 encodes to 16777217 bytes, exceeding the 16777216-byte gRPC request limit");
}

TEST_P(AdjudicatesPeer, ManyBatchesAnswerInOrder) {
  std::vector<wire::WireEvent> events;
  for (int i = 0; i < 3; ++i) events.push_back(event_of_cost("batches", 9 * 1024 * 1024, numbered("big-", i)));
  for (int i = 0; i < 5; ++i) events.push_back(event("batches", numbered("small-", i)));
  auto answers = adjudicate(client(), std::move(events));
  ASSERT_TRUE(answers) << status_error_text(answers);
  EXPECT_EQ(answers->size(), 8u);
}

TEST_P(AdjudicatesPeer, AThousandCallsInFlightOnOneClient) {
  auto c = client();
  constexpr int kCalls = 1000;
  std::atomic<int> ok{0};
  std::atomic<int> done{0};
  std::promise<void> all_done;
  for (int i = 0; i < kCalls; ++i) {
    spawn_task<Answers>(Runtime::shared().executor(), adjudicate_async(c, {event("behave:delay-ms:50", numbered("e", i))}),
                        [&](Answers answers) {
                          if (answers && answers->size() == 1) ++ok;
                          if (++done == kCalls) all_done.set_value();
                        });
  }
  ASSERT_EQ(all_done.get_future().wait_for(60s), std::future_status::ready);
  EXPECT_EQ(ok.load(), kCalls);
}

TEST_P(AdjudicatesPeer, DeadlineOnAServerThatNeverAnswers) {
  auto c = client(200ms);
  const auto started = std::chrono::steady_clock::now();
  auto answers = adjudicate(c, {event("behave:never-answer")});
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(answers);
  // The server enforces the same deadline from "grpc-timeout" and, rounding
  // it to its own clock, may send DEADLINE_EXCEEDED a fraction of a
  // millisecond before the client's timer fires; either side's timeout is a
  // correct end. Anything else is not.
  const std::string text = text_of(answers.error());
  if (text != "code: 'Deadline expired before operation could complete', message: \"Deadline Exceeded\"") {
    EXPECT_EQ(text, "code: 'The operation was cancelled', message: \"Timeout expired\"");
  }
  EXPECT_GE(took, 199ms);
  EXPECT_LT(took, 3s);
  // The client is still usable afterwards.
  EXPECT_TRUE(adjudicate(c, {event("after")}));
}

TEST_P(AdjudicatesPeer, StatusCodeAndMessageSurvivePercentEncoding) {
  const std::string message = "he said \"no\"\nand: \xC3\xBC" "ber \xE2\x9C\x93";
  auto answers = adjudicate(client(), {event("behave:status:PERMISSION_DENIED:" + message)});
  ASSERT_FALSE(answers);
  ASSERT_EQ(answers.error().kind(), RevizerClientError::Kind::Status);
  EXPECT_EQ(answers.error().grpc_status().code, common::GrpcCode::PermissionDenied);
  EXPECT_EQ(answers.error().grpc_status().message, message);
}

TEST_P(AdjudicatesPeer, UnimplementedMethod) {
  auto c = client();
  std::string framed(5, '\0');
  auto outcome = run(unary_call(c->read_state(), "/tavimor.revizer.v1.RevizerService/Nothing", framed, 2s));
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().code, common::GrpcCode::Unimplemented);
}

TEST_P(AdjudicatesPeer, AnswersThatDoNotFit) {
  const struct {
    std::string trajectory;
    std::string error;
  } cases[] = {
      {"behave:wrong-count+1", "decode error: Expected 2 adjudication responses, received 3"},
      {"behave:wrong-count-1", "decode error: Expected 2 adjudication responses, received 1"},
      {"behave:missing-payload",
       "decode error: Cannot deserialize adjudication response: validation error: invalid adjudication DTO: could not "
       "decode payload for event 'first'"},
      {"behave:bad-payload",
       "decode error: Cannot deserialize adjudication response: validation error: invalid adjudication DTO: could not "
       "decode payload for event 'first'"},
      {"behave:no-message", "code: 'Internal error', message: \"Missing response message.\""},
  };
  auto c = client();
  for (const auto& test : cases) {
    auto answers = adjudicate(c, {event(test.trajectory, "first"), event(test.trajectory, "second")});
    ASSERT_FALSE(answers) << test.trajectory;
    EXPECT_EQ(text_of(answers.error()), test.error) << test.trajectory;
  }
  auto undecodable = adjudicate(c, {event("behave:bad-protobuf")});
  ASSERT_FALSE(undecodable);
  EXPECT_EQ(undecodable.error().grpc_status().code, common::GrpcCode::Internal);
  EXPECT_TRUE(undecodable.error().grpc_status().message.starts_with("failed to decode Protobuf message: "))
      << text_of(undecodable.error());
}

TEST_P(AdjudicatesPeer, FirstErrorAndDenyAcrossThreeBatches) {
  const auto batch = [](const std::string& trajectory, const std::string& id) {
    return event_of_cost(trajectory, 9 * 1024 * 1024, id);
  };
  auto c = client();
  auto denied = adjudicate(c, {batch("behave:deny-at:0", "b1"), batch("behave:status:UNAVAILABLE:down", "b2"),
                               batch("behave:status:UNAUTHENTICATED:who", "b3")});
  ASSERT_FALSE(denied);
  EXPECT_EQ(denied.error().kind(), RevizerClientError::Kind::DeniedWhileChunkFailed);
  EXPECT_EQ(text_of(denied.error()),
            "adjudication was denied while another batch chunk failed: code: 'The service is currently unavailable', "
            "message: \"down\"");

  auto plain = adjudicate(c, {batch("ok", "b1"), batch("behave:status:UNAVAILABLE:down", "b2"), batch("ok", "b3")});
  ASSERT_FALSE(plain);
  EXPECT_EQ(plain.error().kind(), RevizerClientError::Kind::Status);

  auto late_deny = adjudicate(c, {batch("behave:status:DEADLINE_EXCEEDED:late", "b1"), batch("ok", "b2"),
                                  batch("behave:deny-at:0", "b3")});
  ASSERT_FALSE(late_deny);
  EXPECT_EQ(late_deny.error().kind(), RevizerClientError::Kind::DeniedWhileChunkFailed);
}

TEST_P(AdjudicatesPeer, MetadataOfEachModeAsTheServerReceivesIt) {
  const auto report = [](const Client& c) { return metadata_of(adjudicate(c, {event("behave:metadata")})); };
  // "grpc-timeout" is the time left when the request is sent, rounded up to
  // the millisecond: the whole timeout unless a millisecond passed first.
  auto bearer = report(client(250ms));
  EXPECT_EQ(bearer.find("authorization")->as_string(), "Bearer test-token");
  EXPECT_TRUE(bearer.find("x-api-key")->is_null());
  const std::string bearer_timeout = bearer.find("grpc-timeout")->as_string();
  EXPECT_TRUE(bearer_timeout == "250000u" || grpc_timeout_nanos(bearer_timeout) >= 200'000'000) << bearer_timeout;
  EXPECT_LE(grpc_timeout_nanos(bearer_timeout), 250'000'000) << bearer_timeout;

  auto iap = report(client(50ms, "iap-token"));
  EXPECT_EQ(iap.find("authorization")->as_string(), "Bearer iap-token");
  EXPECT_EQ(iap.find("x-api-key")->as_string(), "test-token");
  const std::string iap_timeout = iap.find("grpc-timeout")->as_string();
  EXPECT_TRUE(iap_timeout == "50000000n" || grpc_timeout_nanos(iap_timeout) >= 20'000'000) << iap_timeout;
  EXPECT_LE(grpc_timeout_nanos(iap_timeout), 50'000'000) << iap_timeout;
}

// The deadline counts from when the caller's call began (a Python call's
// start), not from when it reached its worker: a call that began 200 ms
// before it got here, with a 300 ms timeout, sends "grpc-timeout" of what
// is left (100 ms at most) and ends at that deadline; one whose deadline has
// passed already fails at once with "Timeout expired", sending nothing.
TEST_P(AdjudicatesPeer, DeadlineCountsFromTheCallersStart) {
  auto c = client(300ms);
  const auto sent = metadata_of(adjudicate(c, {event("behave:metadata")}, CallClock::now() - 200ms));
  const std::int64_t left = grpc_timeout_nanos(sent.find("grpc-timeout")->as_string());
  EXPECT_GT(left, 0);
  EXPECT_LE(left, 100'000'000);

  auto started = CallClock::now() - 200ms;
  auto answers = adjudicate(c, {event("behave:never-answer")}, started);
  auto took = CallClock::now() - started;
  ASSERT_FALSE(answers);
  const std::string text = text_of(answers.error());
  if (text != "code: 'Deadline expired before operation could complete', message: \"Deadline Exceeded\"") {
    EXPECT_EQ(text, "code: 'The operation was cancelled', message: \"Timeout expired\"");
  }
  EXPECT_GE(took, 299ms);
  EXPECT_LT(took, 450ms);

  started = CallClock::now() - 400ms;
  answers = adjudicate(c, {event("behave:never-answer")}, started);
  took = CallClock::now() - started;
  ASSERT_FALSE(answers);
  EXPECT_EQ(text_of(answers.error()), "code: 'The operation was cancelled', message: \"Timeout expired\"");
  EXPECT_LT(took, 450ms);

  // A batch after the first is a request of its own: its deadline counts
  // from its own start (two answers of 320 ms each, 600 ms apiece).
  std::vector<wire::WireEvent> two{event_of_cost("behave:delay-ms:320", 9 * 1024 * 1024, "b1"),
                                   event_of_cost("behave:delay-ms:320", 9 * 1024 * 1024, "b2")};
  auto both = adjudicate(client(600ms), std::move(two));
  EXPECT_TRUE(both) << status_error_text(both);
}

INSTANTIATE_TEST_SUITE_P(Peers, AdjudicatesPeer, ::testing::Values(Peer::Cpp, Peer::Grpcio),
                         [](const auto& info) { return info.param == Peer::Cpp ? "GrpcCpp" : "Grpcio"; });

}  // namespace
}  // namespace revizer::client

namespace revizer::client {
namespace {

using namespace test_support;
using namespace std::chrono_literals;

// Dropping an operation while its first batch is in flight resets that
// stream and sends no later batch; the server behind a relay that records
// every request it passes shows it.
TEST(AdjudicatesCancellation, DroppingTheOperationSendsNoLaterBatch) {
  peers::RevizerServerProcess server({.direct = true});
  ASSERT_TRUE(server.ok());
  peers::H2Relay relay(server.port());
  auto connected = connect("http://127.0.0.1:" + std::to_string(relay.port()));
  ASSERT_TRUE(connected) << text_of(connected.error());
  std::vector<wire::WireEvent> events;
  events.push_back(event_of_cost("behave:never-answer", 9 * 1024 * 1024, "first"));
  events.push_back(event_of_cost("second", 9 * 1024 * 1024, "second"));
  std::atomic<bool> reported{false};
  TaskHandle task = spawn_task<Answers>(Runtime::shared().executor(), adjudicate_async(*connected, std::move(events)),
                                        [&](Answers) { reported = true; });
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (relay.requests().empty() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(relay.requests().size(), 1u);
  task.cancel();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(relay.requests().size(), 1u) << "a later batch was sent";
  EXPECT_FALSE(reported.load()) << "a dropped operation reports nothing";
  // The connection is still good for other calls.
  auto after = adjudicate(*connected, {event("after")});
  EXPECT_TRUE(after) << text_of(after.error());
}

// Calls on one channel with different timeouts, to a server that takes
// every request and never answers (nor enforces "grpc-timeout" itself): each
// call ends at its own deadline, a later call with a shorter one included.
TEST(ChannelDeadlines, EachCallOnOneChannelEndsAtItsOwnDeadline) {
  peers::LoopbackServer silent([](asio::ip::tcp::socket socket) -> asio::awaitable<void> {
    static const char settings[9] = {0, 0, 0, 4, 0, 0, 0, 0, 0};
    co_await asio::async_write(socket, asio::buffer(settings), asio::use_awaitable);
    std::array<char, 4096> sink;
    for (;;) {
      asio::error_code ec;
      co_await socket.async_read_some(asio::buffer(sink), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
    }
  });
  auto connected = connect("http://127.0.0.1:" + std::to_string(silent.port()));
  ASSERT_TRUE(connected) << text_of(connected.error());
  const Client& c = *connected;
  std::string framed;
  ASSERT_TRUE(wire::AdjudicatesRequest{{event("silent")}}.encode(framed));

  const auto started = std::chrono::steady_clock::now();
  const std::array<std::chrono::milliseconds, 3> timeouts{1200ms, 200ms, 600ms};
  std::array<std::promise<std::pair<std::string, std::chrono::steady_clock::duration>>, 3> ended;
  for (std::size_t i = 0; i < timeouts.size(); ++i) {
    spawn_task<CallOutcome>(c->executor(), unary_call(c->read_state(), kAdjudicatesPath, framed, timeouts[i]),
                            [&, i](CallOutcome outcome) {
                              ended[i].set_value({outcome ? "answered" : outcome.error().message,
                                                  std::chrono::steady_clock::now() - started});
                            });
  }
  for (std::size_t i = 0; i < timeouts.size(); ++i) {
    auto future = ended[i].get_future();
    ASSERT_EQ(future.wait_for(10s), std::future_status::ready) << "call " << i << " never ended";
    const auto [text, took] = future.get();
    EXPECT_EQ(text, "Timeout expired") << "call " << i;
    EXPECT_GE(took, timeouts[i]) << "call " << i;
    EXPECT_LT(took, timeouts[i] + 400ms) << "call " << i << " ended late";
  }
}

}  // namespace
}  // namespace revizer::client
