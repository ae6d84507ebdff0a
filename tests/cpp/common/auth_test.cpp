// Authorization metadata: header-value checks, the three modes, and the Cloud
// Run token's reuse and refresh on an injected monotonic clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/auth/auth_interceptor.h"

namespace revizer::common {
namespace {

using namespace std::chrono_literals;

std::string value_of(const RequestMetadata& metadata, std::string_view key) {
  std::string out;
  int count = 0;
  for (const auto& entry : metadata) {
    if (entry.key == key) {
      out = std::string(entry.value.view());
      ++count;
    }
  }
  EXPECT_LE(count, 1) << key;
  return count ? out : "<absent>";
}

HeaderValue header(std::string text) { return *HeaderValue::checked(std::move(text)); }

TEST(HeaderValueCheck, RefusesControlBytesOnly) {
  for (int byte = 0; byte < 256; ++byte) {
    const bool expected = byte == '\t' || (byte >= 0x20 && byte != 0x7F);
    EXPECT_EQ(is_valid_header_value(std::string(1, static_cast<char>(byte))), expected) << byte;
  }
  EXPECT_TRUE(is_valid_header_value(""));
}

TEST(AuthModes, BuildTheirHeadersOrFailWithTheirStatus) {
  struct Case {
    const char* name;
    Result<AuthInterceptor, GrpcStatus> built;
    std::string authorization;  // expected, or the status message on failure
    std::string api_key;
  };
  const auto internal = [](const char* m) { return GrpcStatus{GrpcCode::Internal, m}; };
  Case cases[] = {
      {"bearer", bearer_header_value("tok\t\x80\xff"), "Bearer tok\t\x80\xff", "<absent>"},
      {"bearer empty", bearer_header_value(""), "Bearer ", "<absent>"},
      {"bearer line feed", bearer_header_value("tok\n"), "Invalid bearer token value", ""},
      {"bearer carriage return", bearer_header_value("t\rok"), "Invalid bearer token value", ""},
      {"iap", iap_auth_headers("iap", "key"), "Bearer iap", "key"},
      {"iap empty api key", iap_auth_headers("iap", ""), "Bearer iap", ""},
      {"iap bad api key", iap_auth_headers("iap", "k\x7f"), "Invalid API key value", ""},
      {"iap both bad: the IAP token is examined first", iap_auth_headers("i\n", "k\n"), "Invalid IAP token value", ""},
  };
  for (Case& c : cases) {
    if (c.api_key.empty() && !c.built) {
      EXPECT_EQ(c.built.error(), internal(c.authorization.c_str())) << c.name;
      continue;
    }
    ASSERT_TRUE(c.built) << c.name;
    RequestMetadata metadata{{"authorization", header("old")}, {"x-api-key", header("old")}, {"other", header("kept")}};
    ASSERT_TRUE(c.built->call(metadata));
    EXPECT_EQ(value_of(metadata, "authorization"), c.authorization) << c.name;
    EXPECT_EQ(value_of(metadata, "x-api-key"), c.api_key == "<absent>" ? "old" : c.api_key) << c.name;
    EXPECT_EQ(value_of(metadata, "other"), "kept");
  }
}

TEST(CloudRunEndpoint, MatchesTheSuffixAnywhereAndCaseSensitively) {
  const std::pair<std::string_view, bool> cases[] = {
      {"https://svc-abc.a.run.app", true},  {"https://example.com/p.run.app", true},
      {"https://example.com/?h=.run.app", true}, {"https://svc.A.RUN.APP", false},
      {"https://svc.run.apps.example", true},    {".run.ap", false}, {"", false},
  };
  for (const auto& [endpoint, expected] : cases) EXPECT_EQ(is_cloud_run_endpoint(endpoint), expected) << endpoint;
}

// A token source whose clock and answers the test controls.
struct FakeSource {
  std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
  std::vector<Result<std::string, std::string>> answers;  // popped front first
  std::vector<std::string> audiences;

  IdentityTokenSource source() {
    return {[this](const std::string& audience) -> Result<std::string, std::string> {
              audiences.push_back(audience);
              auto answer = answers.front();
              answers.erase(answers.begin());
              return answer;
            },
            [this] { return now; }};
  }
};

TEST(CloudRunInterceptor, ConstructionFailures) {
  const std::pair<Result<std::string, std::string>, GrpcStatus> cases[] = {
      {fail(std::string("no credentials")),
       {GrpcCode::Unavailable, "Failed to fetch Cloud Run identity token: no credentials"}},
      {std::string("bad\ntoken"), {GrpcCode::Internal, "Invalid identity token value"}},
  };
  for (const auto& [answer, status] : cases) {
    FakeSource fake;
    fake.answers = {answer};
    auto built = cloud_run_auth_interceptor("https://x.run.app", "key", fake.source());
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error(), status);
  }
  FakeSource fake;
  fake.answers = {std::string("id")};
  auto bad_key = cloud_run_auth_interceptor("https://x.run.app", "k\n", fake.source());
  ASSERT_FALSE(bad_key);
  EXPECT_EQ(bad_key.error(), (GrpcStatus{GrpcCode::Internal, "Invalid API key value"}));
}

TEST(CloudRunInterceptor, ReusesBelow3000SecondsAndRefreshesAtThem) {
  FakeSource fake;
  fake.answers = {std::string("first"), std::string("second")};
  auto built = cloud_run_auth_interceptor("https://svc.run.app/path?q", "", fake.source());
  ASSERT_TRUE(built);
  const AuthInterceptor copy = *built;  // copies share the one token entry
  RequestMetadata metadata;

  fake.now += 2999900ms;
  ASSERT_TRUE(copy.call(metadata));
  EXPECT_EQ(value_of(metadata, "authorization"), "Bearer first");
  EXPECT_EQ(value_of(metadata, "x-api-key"), "");

  fake.now += 100ms;  // exactly 3000 s old
  ASSERT_TRUE(copy.call(metadata));
  EXPECT_EQ(value_of(metadata, "authorization"), "Bearer second");
  ASSERT_TRUE(built->call(metadata));  // the original sees the refreshed token
  EXPECT_EQ(value_of(metadata, "authorization"), "Bearer second");
  EXPECT_EQ(fake.audiences, (std::vector<std::string>{"https://svc.run.app/path?q", "https://svc.run.app/path?q"}));

  fake.now -= 10h;  // a clock reading before the store counts as fresh
  ASSERT_TRUE(copy.call(metadata));
  EXPECT_EQ(fake.audiences.size(), 2u);
}

TEST(CloudRunInterceptor, FailedRefreshFailsOnlyThatCallAndKeepsTheOldEntry) {
  FakeSource fake;
  fake.answers = {std::string("first"), fail(std::string("boom")), std::string("bad\x01"), std::string("third")};
  auto built = cloud_run_auth_interceptor("https://svc.run.app", "key", fake.source());
  ASSERT_TRUE(built);
  fake.now += 3000s;
  RequestMetadata metadata{{"authorization", header("caller")}};

  auto refused = built->call(metadata);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), (GrpcStatus{GrpcCode::Unavailable, "Failed to refresh Cloud Run identity token: boom"}));
  auto invalid = built->call(metadata);
  ASSERT_FALSE(invalid);
  EXPECT_EQ(invalid.error(), (GrpcStatus{GrpcCode::Internal, "Invalid refreshed identity token value"}));
  EXPECT_EQ(value_of(metadata, "authorization"), "caller");  // untouched on failure

  ASSERT_TRUE(built->call(metadata));
  EXPECT_EQ(value_of(metadata, "authorization"), "Bearer third");
  EXPECT_EQ(value_of(metadata, "x-api-key"), "key");
}

TEST(CloudRunInterceptor, ConcurrentCallsShareTheEntrySafely) {
  std::atomic<int> fetches{0};
  std::atomic<long> clock_seconds{0};
  IdentityTokenSource source{[&](const std::string&) -> Result<std::string, std::string> {
                               std::string token = "t";
                               token += std::to_string(fetches.fetch_add(1));
                               return token;
                             },
                             [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(clock_seconds.load())); }};
  auto built = cloud_run_auth_interceptor("https://svc.run.app", "key", source);
  ASSERT_TRUE(built);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        RequestMetadata metadata;
        EXPECT_TRUE(built->call(metadata));
        EXPECT_EQ(value_of(metadata, "authorization").rfind("Bearer t", 0), 0u);
        if (i % 50 == 0) clock_seconds += 3000;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_GE(fetches.load(), 2);
}

}  // namespace
}  // namespace revizer::common
