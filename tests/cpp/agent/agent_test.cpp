#include "model/agent/agent_record.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/cpp/json/json_cases.h"

namespace revizer::agent {
namespace {

using Case = testing::JsonCase;
using testing::expect_cases;
using testing::value_of;

constexpr const char* kCodingCard =
    R"({"metadata":{"schema_version":"1","hook_version":"2"},"workspace_root":"/w","execution_mode":"e",)"
    R"("capabilities":{"tools":[],"hook_commands":[],"slash_commands":[],"named_agents":[],"skills":[]},)"
    R"("assets":[{"scope":"s","kind":"k","name":"n","path":"p","content_sha256":"h","content":"body",)"
    R"("content_truncated":true}],"settings":[]})";

TEST(Agent, JsonForm) {
  const std::string coding = std::string(R"({"id":"a1","provider":"p","platform":"x","card":{"CodingAgentCard":)") +
                             kCodingCard + "}}";
  const Case cases[] = {
      {R"({"id":"a1","provider":"p","platform":"","card":{"ReActAgentCard":{}}})",
       R"({"id":"a1","provider":"p","platform":"","card":{"ReActAgentCard":{}}})"},
      {R"({"card":{"ReActAgentCard":{"model":"m"}},"extra":[1,2],"platform":"x","provider":"p","id":"a1"})",
       R"({"id":"a1","provider":"p","platform":"x","card":{"ReActAgentCard":{"model":"m"}}})"},
      // Asset content stays in the record and is written by the codec.
      {coding.c_str(), coding.c_str()},
      {R"({"id":"a1","provider":"p","card":{"ReActAgentCard":{}}})", "missing field `platform`"},
      {R"({"id":"a1","provider":"p"})", "missing field `platform`"},
      {R"({})", "missing field `id`"},
      {R"({"id":7,"provider":"p","platform":"","card":{"ReActAgentCard":{}}})",
       "invalid type: integer `7`, expected a string"},
      {R"({"id":"a1","provider":"p","platform":"","card":"ReActAgentCard"})",
       "invalid type: unit variant, expected newtype variant"},
      {R"({"id":"a1","provider":"p","platform":"","card":"react"})",
       "unknown variant `react`, expected `ReActAgentCard` or `CodingAgentCard`"},
      {R"({"id":"a1","provider":"p","platform":"","card":{"reactagentcard":{}}})",
       "unknown variant `reactagentcard`, expected `ReActAgentCard` or `CodingAgentCard`"},
      {R"({"id":"a1","provider":"p","platform":"","card":{}})", "invalid value: map, expected map with a single key"},
      {R"({"id":"a1","provider":"p","platform":"","card":{"ReActAgentCard":{},"CodingAgentCard":{}}})",
       "invalid value: map, expected map with a single key"},
      {R"({"id":"a1","provider":"p","platform":"","card":null})", "invalid type: null, expected string or map"},
      {R"({"id":"a1","provider":"p","platform":"","card":[]})", "invalid type: sequence, expected string or map"},
      {R"({"id":"a1","provider":"p","platform":"","card":{"CodingAgentCard":null}})",
       "invalid type: null, expected struct CodingAgentCard"},
      {R"({"id":"a1","provider":"p","platform":"","card":{"CodingAgentCard":{"workspace_root":"/w"}}})",
       "missing field `metadata`"},
      {R"(["a1","p","x",{"ReActAgentCard":{}}])",
       R"({"id":"a1","provider":"p","platform":"x","card":{"ReActAgentCard":{}}})"},
      {R"(["a1","p","x"])", "invalid length 3, expected struct Agent with 4 elements"},
      {R"(["a1","p","x",{"ReActAgentCard":{}},5])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
      {R"("ab\"c")", R"(invalid type: string "ab\"c", expected struct Agent)"},
      {"null", "invalid type: null, expected struct Agent"},
  };
  expect_cases<Agent>(cases);
}

TEST(Agent, HeldContentReachesTheCard) {
  // In buffered content the rules reach all the way down: a ReAct card with
  // five elements, a sub-agent with seven.
  const Case cases[] = {
      {R"(["a","p","x",{"ReActAgentCard":[null,"",[],[],0]}])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
      {R"(["a","p","x",{"ReActAgentCard":{"sub_agents":[["n",[],"",null,"",[],0]]}}])",
       "invalid length 7, expected fewer elements in array", "invalid length 7, expected 6 elements in sequence"},
  };
  expect_cases<Agent>(cases);
}

TEST(AgentCard, DefaultIsAnEmptyReActCard) {
  const Agent agent;
  ASSERT_EQ(agent.card.index(), card::kReAct);
  EXPECT_EQ(std::get<card::kReAct>(agent.card), ReActAgentCard{});
  EXPECT_EQ(json::write(json::encode(agent)), R"({"id":"","provider":"","platform":"","card":{"ReActAgentCard":{}}})");
}

TEST(AgentCard, CodingCardIsBoxedAndCopiedDeeply) {
  static_assert(sizeof(AgentCard) <= sizeof(ReActAgentCard) + alignof(ReActAgentCard));
  auto decoded = json::decode<AgentCard>(value_of(std::string(R"({"CodingAgentCard":)") + kCodingCard + "}"));
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->index(), card::kCoding);
  AgentCard copy = *decoded;
  auto& held = *std::get<card::kCoding>(copy);
  EXPECT_NE(&held, &*std::get<card::kCoding>(*decoded));
  EXPECT_EQ(copy, *decoded);
  held.assets[0].content = "other";  // only the asset content differs
  EXPECT_NE(copy, *decoded);
  EXPECT_EQ(*std::get<card::kCoding>(*decoded)->assets[0].content, "body");
}

TEST(AgentCard, VariantsAreUnequal) {
  const AgentCard react;
  const AgentCard coding(std::in_place_index<card::kCoding>);
  EXPECT_NE(react, coding);
  EXPECT_EQ(coding, AgentCard(std::in_place_index<card::kCoding>));
}

}  // namespace
}  // namespace revizer::agent
