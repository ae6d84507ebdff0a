// The pieces of a connect that need no server: the endpoint URI rules and
// the adjudication timeout variable.
#include <gtest/gtest.h>

#include "revizer/client/connect/adjudicates_timeout.h"
#include "revizer/client/connect/endpoint_uri.h"

namespace revizer::client {
namespace {

TEST(EndpointUri, AcceptedForms) {
  const struct {
    const char* text;
    std::optional<std::string> scheme;
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
  } cases[] = {
      {"http://127.0.0.1:50051", "http", "127.0.0.1", 50051},
      {"HTTPS://example.com/path?q", "https", "example.com", std::nullopt},
      {"grpc+x://h:1", "grpc+x", "h", 1},
      {"localhost:50051", std::nullopt, "localhost", 50051},
      {"http://[::1]:8443", "http", "[::1]", 8443},
      {"http://user@host:80", "http", "host", 80},
      {"/just/a/path", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto uri = parse_endpoint_uri(c.text);
    ASSERT_TRUE(uri) << c.text << ": " << uri.error();
    EXPECT_EQ(uri->scheme, c.scheme) << c.text;
    EXPECT_EQ(uri->host, c.host) << c.text;
    EXPECT_EQ(uri->port, c.port) << c.text;
  }
}

TEST(EndpointUri, ParserErrorTexts) {
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "empty string"},
      {"http://exa mple.com", "invalid uri character"},
      {"http://host:12x", "invalid port"},
      {"http://host:70000", "invalid port"},
      {"http://", "invalid format"},
      {"host/path", "invalid format"},
      {std::string(65535, 'a'), "uri too long"},
      {std::string(65, 'a') + "://h", "scheme too long"},
  };
  for (const auto& c : cases) {
    auto uri = parse_endpoint_uri(c.text);
    ASSERT_FALSE(uri) << c.text.substr(0, 40);
    EXPECT_EQ(uri.error(), c.error) << c.text.substr(0, 40);
  }
}

TEST(AdjudicatesTimeout, AcceptsOneToSevenThousandElseDefault) {
  using std::chrono::milliseconds;
  const struct {
    std::optional<std::string_view> value;
    long expected;
  } cases[] = {
      {std::nullopt, 7000}, {"250", 250},  {" 250\t", 250}, {"+250", 250}, {"\u00a0250\u00a0", 250},
      {"1", 1},             {"7000", 7000}, {"0", 7000},    {"7001", 7000}, {"-5", 7000},
      {"+", 7000},          {"", 7000},    {"2.5", 7000},   {"250ms", 7000}, {"18446744073709551616", 7000},
      {"18446744073709551615", 7000}, {"++5", 7000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(adjudicates_timeout_from(c.value), milliseconds(c.expected)) << (c.value ? *c.value : "<unset>");
  }
}

}  // namespace
}  // namespace revizer::client
