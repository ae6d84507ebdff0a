// The Cloud Run identity token of one client: reuse below 3000 s on the
// monotonic clock, one fetch at a time for all the calls that find it due,
// each call's wait bounded by its own deadline and its cancellation, and the
// first fetch at connect time.
#include <gtest/gtest.h>

#include <chrono>

#include "common/auth/auth_interceptor.h"
#include "tests/cpp/common/identity_token_support.h"

namespace revizer::common {
namespace {

using namespace std::chrono_literals;
using testing::CallRunner;
using testing::Clock;
using testing::failed;
using testing::FakeTokenSource;
using testing::metadata_value;
using testing::outcome_of;
using testing::StepOutcome;

const GrpcStatus kTimeout{GrpcCode::Cancelled, "Timeout expired"};

AuthInterceptor cloud_run(FakeTokenSource& fake, std::string_view endpoint = "https://svc.run.app",
                          std::string_view api_key = "key") {
  auto built = cloud_run_interceptor_from(endpoint, api_key, std::string("first"), fake.source());
  EXPECT_TRUE(built);
  return std::move(*built);
}

Clock::time_point in(Clock::duration from_now) { return Clock::now() + from_now; }

TEST(IdentityTokenCache, ConstructionFromTheFirstFetch) {
  const std::pair<Result<std::string, std::string>, GrpcStatus> failures[] = {
      {fail(std::string("no credentials")),
       {GrpcCode::Unavailable, "Failed to fetch Cloud Run identity token: no credentials"}},
      {std::string("bad\ntoken"), {GrpcCode::Internal, "Invalid identity token value"}},
  };
  FakeTokenSource fake;
  for (const auto& [first, status] : failures) {
    auto built = cloud_run_interceptor_from("https://x.run.app", "key", first, fake.source());
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error(), status);
  }
  auto bad_key = cloud_run_interceptor_from("https://x.run.app", "k\n", std::string("id"), fake.source());
  ASSERT_FALSE(bad_key);
  EXPECT_EQ(bad_key.error(), (GrpcStatus{GrpcCode::Internal, "Invalid API key value"}));
  EXPECT_EQ(fake.launches(), 0);
}

TEST(IdentityTokenCache, FreshReadsStayOnTheCallersThreadAndRefreshAt3000Seconds) {
  FakeTokenSource fake;
  fake.answer(std::string("second"));
  const AuthInterceptor original = cloud_run(fake, "https://svc.run.app/path?q", "");
  const AuthInterceptor copy = original;  // copies share the one token entry
  RequestMetadata metadata;

  fake.advance(2999900ms);
  ASSERT_TRUE(copy.call_now(metadata));
  EXPECT_EQ(metadata_value(metadata, "authorization"), "Bearer first");
  EXPECT_EQ(metadata_value(metadata, "x-api-key"), "");
  EXPECT_EQ(fake.launches(), 0);

  fake.advance(100ms);  // exactly 3000 s old: due, and nothing is set
  RequestMetadata untouched{{"authorization", *HeaderValue::checked("caller")}};
  EXPECT_FALSE(copy.call_now(untouched));
  EXPECT_EQ(metadata_value(untouched, "authorization"), "caller");

  CallRunner runner;
  auto refreshed = runner.call(copy, in(5s));
  EXPECT_EQ(outcome_of(refreshed), "Bearer second");
  ASSERT_TRUE(original.call_now(metadata));  // the original sees the refreshed token
  EXPECT_EQ(metadata_value(metadata, "authorization"), "Bearer second");
  EXPECT_EQ(fake.audiences(), std::vector<std::string>{"https://svc.run.app/path?q"});

  fake.advance(-10h);  // a clock reading before the store counts as fresh
  EXPECT_TRUE(copy.call_now(metadata));
  EXPECT_EQ(fake.launches(), 1);
}

// A client whose token has just fallen due, and calls to renew it.
class DueToken : public ::testing::Test {
 protected:
  DueToken() { fake.advance(3000s); }

  FakeTokenSource fake;  // outlives the runner: its held fetches end last
  CallRunner runner;
  const AuthInterceptor interceptor = cloud_run(fake);
};

TEST_F(DueToken, ConcurrentCallsShareOneFetchPerRenewal) {
  constexpr int kCalls = 32;
  for (int round = 1; round <= 3; ++round) {
    fake.answer(std::string("token-") + std::to_string(round));
    if (round > 1) fake.advance(3000s);
    fake.hold();
    std::vector<std::future<StepOutcome>> calls;
    for (int i = 0; i < kCalls; ++i) calls.push_back(runner.call(interceptor, in(10s)));
    ASSERT_TRUE(fake.wait_for_fetches(round));
    std::this_thread::sleep_for(100ms);  // every call has found the token due by now
    fake.release();
    for (auto& call : calls) {
      EXPECT_EQ(outcome_of(call), "Bearer token-" + std::to_string(round)) << round;
    }
    EXPECT_EQ(fake.fetches(), round);
    EXPECT_EQ(fake.launches(), round);
  }
}

TEST_F(DueToken, AWaitEndsAtItsDeadlineWhileTheFetchGoesOnForLaterCalls) {
  fake.answer(std::string("late"));
  fake.hold();

  const auto started = Clock::now();
  auto short_call = runner.call(interceptor, in(200ms));
  EXPECT_EQ(outcome_of(short_call), failed(kTimeout));
  EXPECT_GE(Clock::now() - started, 200ms);

  auto patient_call = runner.call(interceptor, in(10s));
  ASSERT_TRUE(fake.wait_for_fetches(1));
  // A deadline already past ends the wait at once, with the same status.
  auto expired_call = runner.call(interceptor, in(-1s));
  EXPECT_EQ(outcome_of(expired_call), failed(kTimeout));
  EXPECT_EQ(patient_call.wait_for(100ms), std::future_status::timeout);
  fake.release();
  EXPECT_EQ(outcome_of(patient_call), "Bearer late");
  EXPECT_EQ(fake.launches(), 1);
}

TEST_F(DueToken, CancellingACallEndsItsWaitAtOnce) {
  fake.answer(std::string("late"));
  fake.hold();
  CallRunner::Cancel cancel;
  auto cancelled = runner.call(interceptor, in(60s), &cancel);
  ASSERT_TRUE(fake.wait_for_fetches(1));
  runner.cancel(cancel);
  EXPECT_EQ(outcome_of(cancelled), failed(GrpcStatus{GrpcCode::Cancelled, "Call cancelled"}));
  fake.release();
  auto next = runner.call(interceptor, in(10s));
  EXPECT_EQ(outcome_of(next), "Bearer late");
  EXPECT_EQ(fake.launches(), 1);
}

TEST_F(DueToken, AFailedFetchFailsItsWaitersAndTheNextCallFetchesAgain) {
  fake.answer(fail(std::string("boom")));
  fake.answer(std::string("bad\x01"));
  fake.answer(std::string("third"));

  fake.hold();
  auto first = runner.call(interceptor, in(10s));
  auto second = runner.call(interceptor, in(10s));
  ASSERT_TRUE(fake.wait_for_fetches(1));
  std::this_thread::sleep_for(100ms);
  fake.release();
  const GrpcStatus refused{GrpcCode::Unavailable, "Failed to refresh Cloud Run identity token: boom"};
  EXPECT_EQ(outcome_of(first), failed(refused));
  EXPECT_EQ(outcome_of(second), failed(refused));

  auto invalid = runner.call(interceptor, in(10s));
  EXPECT_EQ(outcome_of(invalid), failed(GrpcStatus{GrpcCode::Internal, "Invalid refreshed identity token value"}));
  RequestMetadata metadata;
  EXPECT_FALSE(interceptor.call_now(metadata));  // the old entry stays, still due

  auto recovered = runner.call(interceptor, in(10s));
  EXPECT_EQ(outcome_of(recovered), "Bearer third");
  ASSERT_TRUE(interceptor.call_now(metadata));
  EXPECT_EQ(metadata_value(metadata, "x-api-key"), "key");
  EXPECT_EQ(fake.fetches(), 3);
}

TEST(IdentityTokenCache, TheFirstFetchRunsThroughTheLauncherAndItsWaitCanBeDropped) {
  CallRunner runner(1);
  const GrpcStatus dropped_status{GrpcCode::Cancelled, "Connect cancelled"};
  const auto connect = [&](IdentityTokenSource source, CallRunner::Cancel* cancel = nullptr) {
    auto promise = std::make_shared<std::promise<StepOutcome>>();
    auto future = promise->get_future();
    auto task = [](IdentityTokenSource source, std::shared_ptr<std::promise<StepOutcome>> promise) -> asio::awaitable<void> {
      co_await asio::this_coro::throw_if_cancelled(false);
      auto built = co_await cloud_run_auth_interceptor("https://svc.run.app", "key", std::move(source));
      RequestMetadata metadata;
      if (!built) {
        promise->set_value(failed(built.error()));
      } else if (built->call_now(metadata)) {
        promise->set_value(metadata_value(metadata, "authorization"));
      }
    };
    auto strand = asio::make_strand(runner.context());
    if (cancel) {
      cancel->strand = strand;
      asio::co_spawn(strand, task(std::move(source), promise),
                     asio::bind_cancellation_slot(cancel->signal.slot(), [](std::exception_ptr) {}));
    } else {
      asio::co_spawn(strand, task(std::move(source), promise), [](std::exception_ptr) {});
    }
    return future;
  };

  FakeTokenSource fake;
  fake.answer(std::string("first"));
  auto connected = connect(fake.source());
  EXPECT_EQ(outcome_of(connected), "Bearer first");
  EXPECT_EQ(fake.launches(), 1);

  // Dropped while its fetch hangs: the wait ends at once, the fetch goes on
  // in the background until released.
  FakeTokenSource hanging;
  hanging.hold();
  CallRunner::Cancel cancel;
  auto dropped = connect(hanging.source(), &cancel);
  ASSERT_TRUE(hanging.wait_for_fetches(1));
  runner.cancel(cancel);
  EXPECT_EQ(outcome_of(dropped), failed(dropped_status));

  // Dropped while its fetch waits for a thread: the fetch is skipped.
  FakeTokenSource queued;
  IdentityTokenSource parking = queued.source();
  std::function<void()> parked;
  std::promise<void> launched;
  parking.launch = [&](std::function<void()> job) {
    parked = std::move(job);
    launched.set_value();
  };
  CallRunner::Cancel early;
  auto skipped = connect(parking, &early);
  ASSERT_EQ(launched.get_future().wait_for(10s), std::future_status::ready);
  runner.cancel(early);
  EXPECT_EQ(outcome_of(skipped), failed(dropped_status));
  parked();
  EXPECT_EQ(queued.fetches(), 0);
}

}  // namespace
}  // namespace revizer::common
