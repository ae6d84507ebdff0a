#include "model/result/deny_message.h"

#include <gtest/gtest.h>

namespace revizer::result {
namespace {

PolicyMetadata policy(std::optional<std::string> id, std::optional<std::string> description,
                      json::HashMap<std::string> metadata = {}) {
  PolicyMetadata p;
  p.policy_id = std::move(id);
  p.description = std::move(description);
  p.metadata = std::move(metadata);
  return p;
}

TEST(PolicyContext, Blocks) {
  struct Case {
    std::vector<PolicyMetadata> policies;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {{}, std::nullopt},
      {{PolicyMetadata{}}, std::nullopt},
      {{policy(std::nullopt, "")}, std::nullopt},
      {{policy("p", std::nullopt)}, "[Policy: p]"},
      {{policy("p", "")}, "[Policy: p] "},
      {{policy("p", "d")}, "[Policy: p] d"},
      {{policy(std::nullopt, "d")}, "d"},
      {{policy(std::nullopt, std::nullopt, {{"k", "v"}})}, "  k: v"},
      {{policy(std::nullopt, "", {{"k", "v"}})}, "\n  k: v"},
      {{policy(std::nullopt, std::nullopt, {{"b", "1"}, {"B", "2"}, {"a", "3"}, {"ab", "4"}})},
       "  B: 2\n  a: 3\n  ab: 4\n  b: 1"},
      {{policy("p1", std::nullopt), policy("p2", std::nullopt)}, "[Policy: p1]\n[Policy: p2]"},
      // Policies that contribute nothing are skipped, not left as empty lines.
      {{policy("p1", std::nullopt), PolicyMetadata{}, policy(std::nullopt, "d")}, "[Policy: p1]\nd"},
  };
  for (const Case& c : cases) EXPECT_EQ(policy_context_text(c.policies), c.text);

  // The escalation fields never appear.
  PolicyMetadata escalating = policy("p", std::nullopt);
  escalating.escalate = true;
  escalating.escalate_arg = "human";
  EXPECT_EQ(policy_context_text(std::span(&escalating, 1)), "[Policy: p]");
}

TEST(DenyMessage, Parts) {
  Adjudicated result;
  result.decision = Decision::Deny;
  EXPECT_EQ(deny_message(result, "Denied"), "Denied");
  result.reason = "";
  EXPECT_EQ(deny_message(result, "Denied"), "");

  result.reason = "Blocked by policy";
  result.metadata = {policy("no-rm", "Never delete data", {{"team", "infra"}, {"owner", "sec"}})};
  result.steering = Steering{{"List the targets first", "  "}, "Use a dry run first"};
  EXPECT_EQ(deny_message(result, "Denied"),
            "Blocked by policy\n\n[Policy: no-rm] Never delete data\n  owner: sec\n  team: infra\n\n"
            "[Steering guidance]\nUse a dry run first\n- List the targets first");
}

TEST(DenyMessage, SteeringBlock) {
  struct Case {
    Steering steering;
    std::string message;
  };
  const Case cases[] = {
      {{{}, ""}, "r"},
      {{{"", "\t"}, "   "}, "r"},
      {{{"\u3000"}, "\u00a0\u2028"}, "r"},
      {{{"a"}, ""}, "r\n\n[Steering guidance]\n- a"},
      {{{}, "why"}, "r\n\n[Steering guidance]\nwhy"},
      // Text that is not blank is kept untrimmed.
      {{{" a ", "b"}, " e\n"}, "r\n\n[Steering guidance]\n e\n\n-  a \n- b"},
  };
  for (const Case& c : cases) {
    Adjudicated result;
    result.reason = "r";
    result.steering = c.steering;
    EXPECT_EQ(deny_message(result, "Denied"), c.message);
  }
}

}  // namespace
}  // namespace revizer::result
