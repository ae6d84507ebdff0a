#include "model/agent/card_assets_record.h"

#include <gtest/gtest.h>

#include "tests/cpp/json/json_cases.h"

namespace revizer::agent {
namespace {

using Case = testing::JsonCase;
using testing::expect_cases;

constexpr const char* kIdentity = R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h"})";

TEST(CodingAgentCardAsset, JsonForm) {
  const Case cases[] = {
      {kIdentity, kIdentity},
      {R"({"content_truncated":false,"content_sha256":"h","path":"p","name":"n","kind":"k","scope":"s"})", kIdentity},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_truncated":true,)"
       R"("content_size_bytes":0,"content":"c","content_media_type":"text/plain"})",
       R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_media_type":"text/plain",)"
       R"("content":"c","content_size_bytes":0,"content_truncated":true})"},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":18446744073709551615})",
       R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":18446744073709551615})"},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":null,"content":null})",
       kIdentity},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":-1})",
       "invalid value: integer `-1`, expected u64"},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":1.5})",
       "invalid type: floating point `1.5`, expected u64"},
      // Above the u64 range the reader holds a float.
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":18446744073709551616})",
       "invalid type: floating point `1.8446744073709552e+19`, expected u64"},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":"1"})",
       R"(invalid type: string "1", expected u64)"},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_truncated":null})",
       "invalid type: null, expected a boolean"},
      {R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":null})", "invalid type: null, expected a string"},
      {R"({"Scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h"})", "missing field `scope`"},
      {R"({"scope":"s","name":"n","content_sha256":"h"})", "missing field `kind`"},
      {R"(["s","k","n","p","h"])", kIdentity},
      {R"(["s","k","n","p","h",null,null,5,false])",
       R"({"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content_size_bytes":5})"},
      {R"(["s","k"])", "invalid length 2, expected struct CodingAgentCardAsset with 9 elements"},
      {R"(["s","k","n","p","h",null,null,null,false,0])", "invalid length 10, expected fewer elements in array",
       "invalid length 10, expected 9 elements in sequence"},
      {"[[]]", "invalid type: sequence, expected a string"},
      {"true", "invalid type: boolean `true`, expected struct CodingAgentCardAsset"},
  };
  expect_cases<CodingAgentCardAsset>(cases);
}

TEST(CodingAgentCardSettingsSnapshot, JsonForm) {
  constexpr const char* kEmpty =
      R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],"hook_commands":[]})";
  const Case cases[] = {
      {kEmpty, kEmpty},
      {R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":["a"],"deny_permissions":["d","d"],)"
       R"("hook_commands":["h"],"mcp_servers":{"b":{"type":"stdio","command":"c"},"a":{"type":"ws","url":"u"}}})",
       R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":["a"],"deny_permissions":["d","d"],)"
       R"("hook_commands":["h"],"mcp_servers":{"a":{"type":"ws","url":"u","headers":{}},)"
       R"("b":{"type":"stdio","command":"c","args":[],"env":{}}}})"},
      {R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],"hook_commands":[],)"
       R"("mcp_servers":{}})",
       kEmpty},
      {R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[]})",
       "missing field `hook_commands`"},
      {R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":null,"deny_permissions":[],)"
       R"("hook_commands":[]})",
       "invalid type: null, expected a sequence"},
      {R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],"hook_commands":[],)"
       R"("mcp_servers":null})",
       "invalid type: null, expected a map"},
      {R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],"hook_commands":[],)"
       R"("mcp_servers":{"x":{"type":"HTTP"}}})",
       "unknown variant `HTTP`, expected one of `stdio`, `http`, `streamable-http`, `sse`, `websocket`, `ws`"},
      {R"({"path":"p"})", "missing field `scope`"},
      {R"(["s","p","h",[],[],[]])", kEmpty},
      {R"(["s","p","h",[],[]])", "invalid length 5, expected struct CodingAgentCardSettingsSnapshot with 7 elements"},
      {R"(["s","p","h",[],[],[],{},0])", "invalid length 8, expected fewer elements in array",
       "invalid length 8, expected 7 elements in sequence"},
      {"{}", "missing field `scope`"},
      {R"("x")", R"(invalid type: string "x", expected struct CodingAgentCardSettingsSnapshot)"},
  };
  expect_cases<CodingAgentCardSettingsSnapshot>(cases);
}

TEST(CodingAgentCardSettingsSnapshot, IndexTagsOnlyInsideHeldContent) {
  const char* input =
      R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],"hook_commands":[],)"
      R"("mcp_servers":{"x":{"type":2,"url":"u"}}})";
  EXPECT_EQ(testing::round_trip<CodingAgentCardSettingsSnapshot>(input),
            "invalid type: integer `2`, expected variant identifier");
  EXPECT_EQ(testing::round_trip<CodingAgentCardSettingsSnapshot>(input, json::Mode::Buffered),
            R"({"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],)"
            R"("hook_commands":[],"mcp_servers":{"x":{"type":"sse","url":"u","headers":{}}}})");
}

}  // namespace
}  // namespace revizer::agent
