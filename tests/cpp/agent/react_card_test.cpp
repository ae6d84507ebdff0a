#include "model/agent/react_card_record.h"

#include <gtest/gtest.h>

#include "tests/cpp/json/json_cases.h"

namespace revizer::agent {
namespace {

using Case = testing::JsonCase;
using testing::expect_cases;

TEST(ReActAgentCard, JsonForm) {
  const Case cases[] = {
      {"{}", "{}"},
      {"[]", "{}"},
      {R"({"model":""})", R"({"model":""})"},
      {R"({"model":null,"system_instruction":"","tools":[],"sub_agents":[]})", "{}"},
      {R"({"sub_agents":[{"name":"b"}],"tools":[{"name":"t","description":"d"}],"system_instruction":" ","model":"m"})",
       R"({"model":"m","system_instruction":" ","tools":[{"name":"t","description":"d","parameters":[]}],)"
       R"("sub_agents":[{"name":"b"}]})"},
      // The codec keeps order and repeats.
      {R"({"sub_agents":[{"name":"b"},{"name":"a"},{"name":"b"}]})",
       R"({"sub_agents":[{"name":"b"},{"name":"a"},{"name":"b"}]})"},
      {R"({"system_instruction":null})", "invalid type: null, expected a string"},
      {R"({"tools":{}})", "invalid type: map, expected a sequence"},
      {R"({"tools":null})", "invalid type: null, expected a sequence"},
      {R"({"sub_agents":null})", "invalid type: null, expected a sequence"},
      {R"({"model":3})", "invalid type: integer `3`, expected a string"},
      {R"({"sub_agents":[{}]})", "missing field `name`"},
      {R"({"sub_agents":[["x"]]})", R"({"sub_agents":[{"name":"x"}]})"},
      {R"({"tools":[{"name":"t","description":"d"},5]})", "invalid type: integer `5`, expected struct Tool"},
      {R"([null,"s",[],[["x"]]])", R"({"system_instruction":"s","sub_agents":[{"name":"x"}]})"},
      {R"(["m"])", R"({"model":"m"})"},
      {R"([null,"s",[],[],1])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
      {R"("card")", R"(invalid type: string "card", expected struct ReActAgentCard)"},
      {"null", "invalid type: null, expected struct ReActAgentCard"},
  };
  expect_cases<ReActAgentCard>(cases);
}

TEST(ReActSubAgentDescriptor, JsonForm) {
  const Case cases[] = {
      {R"({"name":"n"})", R"({"name":"n"})"},
      {R"({"name":"n","parent_path":[],"description":"","model":null,"collaboration_mode":"","owned_tool_names":[]})",
       R"({"name":"n"})"},
      {R"({"role":"r","owned_tool_names":["b","a","b"],"model":"","collaboration_mode":"c","description":"d",)"
       R"("parent_path":["root","mid"],"name":"n"})",
       R"({"name":"n","parent_path":["root","mid"],"description":"d","model":"","collaboration_mode":"c",)"
       R"("owned_tool_names":["b","a","b"]})"},
      {R"({"description":"d"})", "missing field `name`"},
      {R"({"name":"n","parent_path":["a",1]})", "invalid type: integer `1`, expected a string"},
      {R"({"name":"n","owned_tool_names":"a"})", R"(invalid type: string "a", expected a sequence)"},
      {R"({"name":"n","collaboration_mode":null})", "invalid type: null, expected a string"},
      {R"(["n",["p"],"d","m","c",["t"]])",
       R"({"name":"n","parent_path":["p"],"description":"d","model":"m","collaboration_mode":"c","owned_tool_names":["t"]})"},
      {R"(["n",[],"",null])", R"({"name":"n"})"},
      {"[]", "invalid length 0, expected struct ReActSubAgentDescriptor with 6 elements"},
      {R"(["n",[],"",null,"",[],7])", "invalid length 7, expected fewer elements in array",
       "invalid length 7, expected 6 elements in sequence"},
      {"5", "invalid type: integer `5`, expected struct ReActSubAgentDescriptor"},
  };
  expect_cases<ReActSubAgentDescriptor>(cases);
}

ReActSubAgentDescriptor sub(std::string name, std::vector<std::string> parent_path = {},
                            std::optional<std::string> model = std::nullopt,
                            std::vector<std::string> owned = {}) {
  ReActSubAgentDescriptor d;
  d.name = std::move(name);
  d.parent_path = std::move(parent_path);
  d.model = std::move(model);
  d.owned_tool_names = std::move(owned);
  return d;
}

std::vector<std::string> names_of(const ReActAgentCard& card) {
  std::vector<std::string> names;
  for (const auto& s : card.sub_agents) names.push_back(s.name + (s.model ? "/" + *s.model : ""));
  return names;
}

TEST(ReActAgentCard, CanonicalOrder) {
  struct OrderCase {
    std::vector<ReActSubAgentDescriptor> given;
    std::vector<std::string> held;  // names (and "/model") in the canonical order
  };
  const OrderCase cases[] = {
      {{sub("b"), sub("a")}, {"a", "b"}},
      // Parent path first, element by element, a proper prefix first.
      {{sub("a", {"x"}), sub("z")}, {"z", "a"}},
      {{sub("a", {"a", "b"}), sub("b", {"a"})}, {"b", "a"}},
      // Texts by their bytes: an upper-case letter before a lower-case one.
      {{sub("a"), sub("Z")}, {"Z", "a"}},
      {{sub("ab"), sub("a")}, {"a", "ab"}},
      // An absent model before any present one.
      {{sub("a", {}, "m"), sub("a"), sub("a", {}, "")}, {"a", "a/", "a/m"}},
      // Repeats go.
      {{sub("a"), sub("b"), sub("a")}, {"a", "b"}},
  };
  for (const OrderCase& c : cases) {
    ReActAgentCard card;
    card.sub_agents = c.given;
    make_canonical(card);
    EXPECT_EQ(names_of(card), c.held);
  }
}

TEST(ReActAgentCard, CanonicalToolNamesBeforeDeduplication) {
  ReActAgentCard card;
  Tool t2;
  t2.name = "t2";
  Tool t1;
  t1.name = "t1";
  card.tools = {t2, t1, t1};
  card.sub_agents = {sub("s", {}, std::nullopt, {"b", "a"}), sub("s", {}, std::nullopt, {"a", "b", "a"}),
                     sub("r", {}, std::nullopt, {"b", "a", "b"})};
  make_canonical(card);
  ASSERT_EQ(card.sub_agents.size(), 2u);
  EXPECT_EQ(card.sub_agents[0].name, "r");
  EXPECT_EQ(card.sub_agents[0].owned_tool_names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(card.sub_agents[1].owned_tool_names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(card.tools, (std::vector<Tool>{t2, t1, t1}));  // tools keep order and repeats
}

}  // namespace
}  // namespace revizer::agent
