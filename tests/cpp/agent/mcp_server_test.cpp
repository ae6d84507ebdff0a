#include "model/agent/mcp_server_record.h"

#include <gtest/gtest.h>

#include "tests/cpp/json/json_cases.h"

namespace revizer::agent {
namespace {

using Case = testing::JsonCase;
using testing::expect_cases;

constexpr const char* kUnknownHttp =
    "unknown variant `HTTP`, expected one of `stdio`, `http`, `streamable-http`, `sse`, `websocket`, `ws`";

TEST(McpServerConfigValue, Stdio) {
  const Case cases[] = {
      {R"({"type":"stdio","command":"srv"})", R"({"type":"stdio","command":"srv","args":[],"env":{}})"},
      {R"({"env":{"B":"2","A":"1"},"args":["-v","x"],"command":"srv","type":"stdio"})",
       R"({"type":"stdio","command":"srv","args":["-v","x"],"env":{"A":"1","B":"2"}})"},
      {R"({"type":"stdio","url":"http://x"})", "missing field `command`"},
      {R"({"type":"stdio","command":"c","args":null})", "invalid type: null, expected a sequence"},
      {R"({"type":"stdio","command":"c","env":null})", "invalid type: null, expected a map"},
      {R"({"type":"stdio","command":"c","env":{"A":1}})", "invalid type: integer `1`, expected a string"},
      {R"(["stdio","c"])", R"({"type":"stdio","command":"c","args":[],"env":{}})"},
      {R"(["stdio"])", "invalid length 0, expected struct StdioMcpServerConfig with 3 elements"},
      // The surplus count leaves out the tag, and the held fields are
      // buffered content whatever the union's own mode.
      {R"(["stdio","c",[],{},1])", "invalid length 4, expected 3 elements in sequence"},
  };
  expect_cases<McpServerConfigValue>(cases);
}

TEST(McpServerConfigValue, UrlTransports) {
  const Case cases[] = {
      {R"({"type":"http","url":"u"})", R"({"type":"http","url":"u","headers":{}})"},
      {R"({"type":"streamable-http","url":"u"})", R"({"type":"http","url":"u","headers":{}})"},
      {R"({"type":"sse","url":"u"})", R"({"type":"sse","url":"u","headers":{}})"},
      {R"({"type":"websocket","url":"u"})", R"({"type":"ws","url":"u","headers":{}})"},
      {R"({"url":"u","type":"ws"})", R"({"type":"ws","url":"u","headers":{}})"},
      {R"({"type":"http","url":"u","alwaysLoad":false})", R"({"type":"http","url":"u","headers":{},"alwaysLoad":false})"},
      {R"({"type":"http","url":"u","alwaysLoad":null,"timeout":null,"headersHelper":null})",
       R"({"type":"http","url":"u","headers":{}})"},
      // JSON values kept as they came: key order, number kinds.
      {R"({"type":"sse","url":"u","timeout":30,"headersHelper":{"z":1,"a":[1.0,-2]},"headers":{"b":"1","B":"2"}})",
       R"({"type":"sse","url":"u","headers":{"B":"2","b":"1"},"headersHelper":{"z":1,"a":[1.0,-2]},"timeout":30})"},
      {R"({"type":"http","url":"u","timeout":"30s"})", R"({"type":"http","url":"u","headers":{},"timeout":"30s"})"},
      // Keys of the other record and other spellings are unknown keys.
      {R"({"type":"http","url":"u","command":"c","always_load":true,"headers_helper":1})",
       R"({"type":"http","url":"u","headers":{}})"},
      {R"({"type":"http","command":"c"})", "missing field `url`"},
      {R"({"type":"http","url":"u","headers":null})", "invalid type: null, expected a map"},
      {R"({"type":"http","url":"u","alwaysLoad":1})", "invalid type: integer `1`, expected a boolean"},
      {R"({"type":"http","url":7})", "invalid type: integer `7`, expected a string"},
      {R"(["sse","u",{"h":"v"},null,5,true])", R"({"type":"sse","url":"u","headers":{"h":"v"},"timeout":5,"alwaysLoad":true})"},
      {R"(["ws"])", "invalid length 0, expected struct UrlMcpServerConfig with 5 elements"},
      {R"(["ws","u",{},null,null,null,1])", "invalid length 6, expected 5 elements in sequence"},
  };
  expect_cases<McpServerConfigValue>(cases);
}

TEST(McpServerConfigValue, Tags) {
  const Case cases[] = {
      {R"({"type":"HTTP","url":"u"})", kUnknownHttp},
      // A bad tag is reported before anything inside the record.
      {R"({"url":5,"type":"HTTP"})", kUnknownHttp},
      {R"({"type":" http","url":"u"})",
       "unknown variant ` http`, expected one of `stdio`, `http`, `streamable-http`, `sse`, `websocket`, `ws`"},
      {R"({"url":"u"})", "missing field `type`"},
      {"[]", "missing field `type`"},
      {R"({"type":null,"url":"u"})", "invalid type: null, expected variant identifier"},
      {R"({"type":true,"url":"u"})", "invalid type: boolean `true`, expected variant identifier"},
      {R"({"type":{"http":null},"url":"u"})", "invalid type: map, expected variant identifier"},
      // Index tags only inside held content; the bound is the variant count.
      {R"({"type":1,"url":"u"})", "invalid type: integer `1`, expected variant identifier",
       R"({"type":"http","url":"u","headers":{}})"},
      {R"({"type":3,"url":"u"})", "invalid type: integer `3`, expected variant identifier",
       R"({"type":"ws","url":"u","headers":{}})"},
      {R"({"type":4,"url":"u"})", "invalid type: integer `4`, expected variant identifier",
       "invalid value: integer `4`, expected variant index 0 <= i < 4"},
      {R"([0,"c"])", "invalid type: integer `0`, expected variant identifier",
       R"({"type":"stdio","command":"c","args":[],"env":{}})"},
      {R"({"type":-1,"url":"u"})", "invalid type: integer `-1`, expected variant identifier"},
      {R"({"type":1.0,"url":"u"})", "invalid type: floating point `1.0`, expected variant identifier"},
      {"null", "invalid type: null, expected internally tagged enum McpServerConfigValue"},
      {R"("stdio")", R"(invalid type: string "stdio", expected internally tagged enum McpServerConfigValue)"},
      {"7", "invalid type: integer `7`, expected internally tagged enum McpServerConfigValue"},
  };
  expect_cases<McpServerConfigValue>(cases);
}

TEST(McpServerMap, KeyOrderAndErrors) {
  const Case cases[] = {
      {"{}", "{}"},
      {R"({"b":{"type":"stdio","command":"c"},"a":["sse","u"],"B":{"type":"http","url":"v"}})",
       R"({"B":{"type":"http","url":"v","headers":{}},"a":{"type":"sse","url":"u","headers":{}},)"
       R"("b":{"type":"stdio","command":"c","args":[],"env":{}}})"},
      {R"({"":{"type":"stdio","command":"c"}})", R"({"":{"type":"stdio","command":"c","args":[],"env":{}}})"},
      // The failing server's own text, without its name.
      {R"({"a":{"type":"stdio","command":"c"},"b":{"type":"http"}})", "missing field `url`"},
      {"null", "invalid type: null, expected a map"},
      {"[]", "invalid type: sequence, expected a map"},
  };
  expect_cases<McpServerMap>(cases);
}

TEST(McpServerConfigValue, EqualityTellsTransportsApart) {
  UrlMcpServerConfig url;
  url.url = "u";
  const McpServerConfigValue http(std::in_place_index<mcp::kHttp>, url);
  const McpServerConfigValue sse(std::in_place_index<mcp::kSse>, url);
  EXPECT_NE(http, sse);
  EXPECT_EQ(http, McpServerConfigValue(std::in_place_index<mcp::kHttp>, url));
  EXPECT_EQ(json::write(json::encode(sse)), R"({"type":"sse","url":"u","headers":{}})");
}

}  // namespace
}  // namespace revizer::agent
