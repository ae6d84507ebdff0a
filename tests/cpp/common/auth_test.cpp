// Authorization metadata: header-value checks, the bearer and IAP modes, and
// the test for Cloud Run endpoints (the identity token's own tests are in
// identity_token_cache_test.cpp).
#include <gtest/gtest.h>


#include "common/auth/auth_interceptor.h"

namespace revizer::common {
namespace {

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
    ASSERT_TRUE(c.built->call_now(metadata));
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

}  // namespace
}  // namespace revizer::common
