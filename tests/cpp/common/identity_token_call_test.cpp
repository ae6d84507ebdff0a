// The identity token on a real call path: a Cloud Run client's calls against
// the gRPC C++ test server, with the token source faked. The header step is
// part of the call: a call that waits for a refresh fails by its own
// deadline, and the refreshed token is what the server then sees.
#include <gtest/gtest.h>

#include <chrono>

#include "model/json/reader.h"
#include "tests/cpp/client/client_fixture.h"
#include "tests/cpp/common/identity_token_support.h"
#include "tests/peers/revizer_server_process.h"

namespace revizer::client {
namespace {

using namespace std::chrono_literals;
using namespace test_support;
using common::testing::FakeTokenSource;

// The "authorization" header the server saw, from a behave:metadata answer.
std::string authorization_seen(const Answers& answers) {
  if (!answers || answers->size() != 1) return answers ? "<wrong count>" : text_of(answers.error());
  auto headers = json::parse(reason_of((*answers)[0]));
  if (!headers || !headers->is_object()) return "<no report>";
  const json::Value* value = headers->as_object().find("authorization");
  return value && value->is_string() ? value->as_string() : "<absent>";
}

TEST(IdentityTokenCall, ARefreshCountsAgainstTheCallsDeadlineAndItsTokenReachesTheServer) {
  peers::RevizerServerProcess server(peers::RevizerServerOptions{});
  ASSERT_TRUE(server.ok()) << "the test server did not start";
  const std::string endpoint = "http://" + server.address();
  constexpr auto kTimeout = 300ms;
  auto connected = connect(endpoint, kTimeout);
  ASSERT_TRUE(connected) << text_of(connected.error());

  FakeTokenSource fake;
  fake.answer(std::string("second"));
  ClientState state = (*connected)->read_state();
  auto interceptor =
      common::cloud_run_interceptor_from(endpoint + "/svc.run.app", "key", std::string("first"), fake.source());
  ASSERT_TRUE(interceptor);
  state.interceptor = std::move(*interceptor);
  const Client cloud_run = std::make_shared<const RevizerGrpcClient>(std::move(state), kTimeout);

  EXPECT_EQ(authorization_seen(adjudicate(cloud_run, {event("behave:metadata")})), "Bearer first");
  EXPECT_EQ(fake.launches(), 0);

  fake.advance(3000s);
  fake.hold();
  const auto started = std::chrono::steady_clock::now();
  const Answers waited = adjudicate(cloud_run, {event("behave:metadata")});
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(waited);
  ASSERT_EQ(waited.error().kind(), RevizerClientError::Kind::Status);
  EXPECT_EQ(waited.error().grpc_status(), (common::GrpcStatus{common::GrpcCode::Cancelled, "Timeout expired"}));
  EXPECT_GE(took, kTimeout);
  EXPECT_LT(took, 5s);  // by the deadline, not by the fetch (still held)

  fake.release();
  ASSERT_TRUE(fake.wait_for_fetches(1));
  EXPECT_EQ(authorization_seen(adjudicate(cloud_run, {event("behave:metadata")})), "Bearer second");
  EXPECT_EQ(fake.fetches(), 1);
}

}  // namespace
}  // namespace revizer::client
