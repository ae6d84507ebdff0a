#include "model/agent/coding_card_record.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/cpp/json/json_cases.h"

namespace revizer::agent {
namespace {

using Case = testing::JsonCase;
using testing::expect_cases;

#define META R"("metadata":{"schema_version":"1","hook_version":"2"})"
#define CAPS R"("capabilities":{"tools":[],"hook_commands":[],"slash_commands":[],"named_agents":[],"skills":[]})"
#define META_ARR R"({"schema_version":"1","hook_version":"2"})"
#define CAPS_ARR R"({"tools":[],"hook_commands":[],"slash_commands":[],"named_agents":[],"skills":[]})"

constexpr const char* kMinimal =
    "{" META R"(,"workspace_root":"/w","execution_mode":"e",)" CAPS R"(,"assets":[],"settings":[]})";

TEST(CodingAgentCard, JsonForm) {
  const Case cases[] = {
      {kMinimal, kMinimal},
      // Keys come back in declaration order; a present empty model and a
      // one-blank instruction are written; context keys in byte order.
      {R"({"normalized_context":{"b":"2","a":"1","B":"0"},"settings":[],"assets":[],)" CAPS
       R"(,"system_instruction":" ","execution_mode":"e","workspace_root":"/w","model":"",)" META "}",
       "{" META R"(,"model":"","workspace_root":"/w","execution_mode":"e","system_instruction":" ",)" CAPS
       R"(,"assets":[],"settings":[],"normalized_context":{"B":"0","a":"1","b":"2"}})"},
      {"{" META R"(,"model":null,"workspace_root":"/w","execution_mode":"e","system_instruction":"",)" CAPS
       R"(,"assets":[],"settings":[],"normalized_context":{}})",
       kMinimal},
      {"{" META R"(,"workspace_root":"/w","execution_mode":"e","system_instruction":null})",
       "invalid type: null, expected a string"},
      {"{" META R"(,"workspace_root":"/w","execution_mode":"e","normalized_context":{"a":1}})",
       "invalid type: integer `1`, expected a string"},
      {"{" META R"(,"workspace_root":"/w","execution_mode":"e","normalized_context":null})",
       "invalid type: null, expected a map"},
      {"{" META R"(,"workspace_root":"/w","execution_mode":"e",)" CAPS R"(,"settings":[]})", "missing field `assets`"},
      {R"({"workspace_root":"/w"})", "missing field `metadata`"},
      {"{" META R"(,"execution_mode":"e"})", "missing field `workspace_root`"},
      {"{" META R"(,"workspace_root":"/w","execution_mode":"e",)" CAPS R"(,"assets":[{"scope":"s","kind":"k",)"
       R"("name":"n","path":"p"}],"settings":[]})",
       "missing field `content_sha256`"},
      {"{" META R"(,"workspace_root":"/w","execution_mode":"e",)" CAPS R"(,"assets":{},"settings":[]})",
       "invalid type: map, expected a sequence"},
      // Array form: the number is the position of the first required
      // element missing.
      {"[" META_ARR "]", "invalid length 2, expected struct CodingAgentCard with 9 elements"},
      {"[" META_ARR R"(,null,"/w","e"])", "invalid length 5, expected struct CodingAgentCard with 9 elements"},
      {"[" META_ARR R"(,null,"/w","e","",)" CAPS_ARR R"(,[],[],{}])", kMinimal},
      {"[" META_ARR R"(,null,"/w","e","",)" CAPS_ARR R"(,[],[]])", kMinimal},
      {"[" META_ARR R"(,null,"/w","e","",)" CAPS_ARR R"(,[],[],{},0])",
       "invalid length 10, expected fewer elements in array", "invalid length 10, expected 9 elements in sequence"},
      {"null", "invalid type: null, expected struct CodingAgentCard"},
  };
  expect_cases<CodingAgentCard>(cases);
}

TEST(AgentCardMetadata, JsonForm) {
  const Case cases[] = {
      {R"({"hook_version":"2","schema_version":"1"})", R"({"schema_version":"1","hook_version":"2"})"},
      {R"(["1","2"])", R"({"schema_version":"1","hook_version":"2"})"},
      {R"({"schema_version":"1"})", "missing field `hook_version`"},
      {R"({})", "missing field `schema_version`"},
      {R"(["1"])", "invalid length 1, expected struct AgentCardMetadata with 2 elements"},
      {R"(["1","2","3"])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {"1", "invalid type: integer `1`, expected struct AgentCardMetadata"},
  };
  expect_cases<AgentCardMetadata>(cases);
}

TEST(CodingAgentCardCapabilities, JsonForm) {
  const Case cases[] = {
      {CAPS_ARR, CAPS_ARR},
      {R"({"skills":["b","a","b"],"named_agents":["n"],"slash_commands":["/s"],"hook_commands":["h"],)"
       R"("tools":[{"name":"t","description":"d"}]})",
       R"({"tools":[{"name":"t","description":"d","parameters":[]}],"hook_commands":["h"],"slash_commands":["/s"],)"
       R"("named_agents":["n"],"skills":["b","a","b"]})"},
      {R"({"tools":[],"hook_commands":[],"slash_commands":[],"named_agents":[]})", "missing field `skills`"},
      {R"({})", "missing field `tools`"},
      {R"({"tools":[],"hook_commands":[1]})", "invalid type: integer `1`, expected a string"},
      {R"([[],[],[],[],[]])", CAPS_ARR},
      {R"([[],[],[],[]])", "invalid length 4, expected struct CodingAgentCardCapabilities with 5 elements"},
      {"[]", "invalid length 0, expected struct CodingAgentCardCapabilities with 5 elements"},
      {R"("x")", R"(invalid type: string "x", expected struct CodingAgentCardCapabilities)"},
  };
  expect_cases<CodingAgentCardCapabilities>(cases);
}

}  // namespace
}  // namespace revizer::agent
