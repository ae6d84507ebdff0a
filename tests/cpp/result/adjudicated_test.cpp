#include "model/result/adjudicated_record.h"

#include <gtest/gtest.h>

#include "tests/cpp/json/json_cases.h"

namespace revizer::result {
namespace {

using namespace revizer::testing;
using Case = testing::JsonCase;

TEST(Decision, EnumerationForms) {
  const Case cases[] = {
      {R"("Allow")", R"("Allow")"},
      {R"("Deny")", R"("Deny")"},
      {R"({"Escalate":null})", R"("Escalate")"},
      {R"({"Escalate":{}})", "invalid type: map, expected unit", R"("Escalate")"},
      {R"({"Escalate":1})", "invalid type: integer `1`, expected unit"},
      {R"({"Escalate":[]})", "invalid type: sequence, expected unit"},
      {R"("allow")", "unknown variant `allow`, expected one of `Allow`, `Deny`, `Escalate`"},
      {R"({"deny":null})", "unknown variant `deny`, expected one of `Allow`, `Deny`, `Escalate`"},
      {R"({})", "invalid value: map, expected map with a single key"},
      {R"({"Allow":null,"Deny":null})", "invalid value: map, expected map with a single key"},
      {R"(0)", "invalid type: integer `0`, expected string or map"},
      {R"(null)", "invalid type: null, expected string or map"},
      {R"(["Allow"])", "invalid type: sequence, expected string or map"},
  };
  expect_cases<Decision>(cases);
}

TEST(Mode, EnumerationForms) {
  const Case cases[] = {
      {R"("monitor")", R"("monitor")"},
      {R"("govern")", R"("govern")"},
      {R"({"steer":null})", R"("steer")"},
      {R"({"monitor":{}})", "invalid type: map, expected unit", R"("monitor")"},
      {R"({"monitor":{"a":null}})", "invalid type: map, expected unit"},
      {R"("Monitor")", "unknown variant `Monitor`, expected one of `monitor`, `govern`, `steer`"},
      {R"(" steer")", "unknown variant ` steer`, expected one of `monitor`, `govern`, `steer`"},
      {R"(false)", "invalid type: boolean `false`, expected string or map"},
  };
  expect_cases<Mode>(cases);
}

TEST(Adjudicated, WritesDecisionAndModeAlways) {
  Adjudicated deny;
  deny.decision = Decision::Deny;
  EXPECT_EQ(json::write(json::encode(deny)), R"({"decision":"Deny","mode":"monitor"})");

  Adjudicated full;
  full.decision = Decision::Escalate;
  full.mode = Mode::Steer;
  full.reason = "";
  full.metadata.emplace_back().policy_id = "p";
  full.metadata.back().escalate = true;
  full.guardrails = GuardrailResults{};
  full.steering = Steering{};
  full.policy_sources.emplace_back().name = "s";
  full.policy_sources.back().version = -1;
  const std::string text = json::write(json::encode(full));
  EXPECT_EQ(text,
            R"({"decision":"Escalate","mode":"steer","reason":"","metadata":[{"policy_id":"p","escalate":true}],)"
            R"("guardrails":{},"steering":{"instructions":[],"explanation":""},)"
            R"("policy_sources":[{"name":"s","version":-1}]})");
  auto back = json::decode<Adjudicated>(value_of(text));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, full);
  // Present-but-empty parts differ from absent ones.
  Adjudicated bare = full;
  bare.guardrails.reset();
  bare.steering.reset();
  EXPECT_NE(bare, full);
}

TEST(Adjudicated, ObjectForm) {
  const char* kAllow = R"({"decision":"Allow","mode":"monitor"})";
  const Case cases[] = {
      {R"({"decision":"Allow"})", kAllow},
      {R"({"Decision":"Deny","decision":"Allow","Mode":"steer"})", kAllow},
      {R"({"decision":"Allow","reason":null,"guardrails":null,"steering":null,"metadata":[],"policy_sources":[]})",
       kAllow},
      {R"({"policy_sources":[{"name":"s"}],"mode":"govern","decision":{"Deny":null},"reason":"r"})",
       R"({"decision":"Deny","mode":"govern","reason":"r","policy_sources":[{"name":"s"}]})"},
      {R"({"decision":"Allow","mode":"monitor","steering":{"instructions":["a"],"explanation":"e"}})",
       R"({"decision":"Allow","mode":"monitor","steering":{"instructions":["a"],"explanation":"e"}})"},
      {R"({})", "missing field `decision`"},
      {R"({"mode":"steer","reason":"r"})", "missing field `decision`"},
      {R"({"decision":"allow"})", "unknown variant `allow`, expected one of `Allow`, `Deny`, `Escalate`"},
      {R"({"decision":"Allow","mode":"Monitor"})",
       "unknown variant `Monitor`, expected one of `monitor`, `govern`, `steer`"},
      {R"({"decision":"Allow","mode":null})", "invalid type: null, expected string or map"},
      {R"({"decision":{"Escalate":1}})", "invalid type: integer `1`, expected unit"},
      {R"({"decision":{}})", "invalid value: map, expected map with a single key"},
      {R"({"decision":0})", "invalid type: integer `0`, expected string or map"},
      {R"({"decision":"Allow","reason":7})", "invalid type: integer `7`, expected a string"},
      {R"({"decision":"Allow","metadata":null})", "invalid type: null, expected a sequence"},
      {R"({"decision":"Allow","policy_sources":null})", "invalid type: null, expected a sequence"},
      {R"({"decision":"Allow","policy_sources":[{"labels":{}}]})", "missing field `name`"},
      {R"({"decision":"Allow","guardrails":{"signature":{}}})", "missing field `triggered`"},
      {R"({"decision":"Allow","steering":{"instructions":[]}})", "missing field `explanation`"},
      {R"({"decision":"Allow","steering":{}})", "missing field `instructions`"},
      {R"({"decision":"Allow","steering":{"instructions":[],"explanation":null}})",
       "invalid type: null, expected a string"},
      {R"({"decision":"Allow","steering":{"instructions":[1],"explanation":""}})",
       "invalid type: integer `1`, expected a string"},
      // The first failing key in input order decides, before a missing decision.
      {R"({"metadata":[{"escalate":null}],"policy_sources":null})", "invalid type: null, expected a boolean"},
      {R"({"policy_sources":null,"metadata":[{"escalate":null}]})", "invalid type: null, expected a sequence"},
      {R"({"reason":1})", "invalid type: integer `1`, expected a string"},
      // Buffered content also takes an empty object as a unit value.
      {R"({"decision":{"Deny":{}},"mode":{"steer":{}}})", "invalid type: map, expected unit",
       R"({"decision":"Deny","mode":"steer"})"},
      {R"(null)", "invalid type: null, expected struct Adjudicated"},
      {R"("Allow")", R"(invalid type: string "Allow", expected struct Adjudicated)"},
  };
  expect_cases<Adjudicated>(cases);
}

TEST(Adjudicated, ArrayForm) {
  const Case cases[] = {
      {R"(["Deny","steer",null,[],null,null])", R"({"decision":"Deny","mode":"steer"})"},
      {R"(["Deny","govern","r",[{}],{},[["a"],"e"],[["s"]]])",
       R"({"decision":"Deny","mode":"govern","reason":"r","metadata":[{}],"guardrails":{},)"
       R"("steering":{"instructions":["a"],"explanation":"e"},"policy_sources":[{"name":"s"}]})"},
      {R"([])", "invalid length 0, expected struct Adjudicated with 7 elements"},
      {R"(["Deny"])", "invalid length 2, expected struct Adjudicated with 7 elements"},
      {R"(["Deny","steer"])", "invalid length 2, expected struct Adjudicated with 7 elements"},
      {R"(["Deny","steer",null])", "invalid length 4, expected struct Adjudicated with 7 elements"},
      {R"(["Deny","steer",null,[]])", "invalid length 4, expected struct Adjudicated with 7 elements"},
      {R"(["Deny","steer",null,[],null])", "invalid length 5, expected struct Adjudicated with 7 elements"},
      {R"(["Deny","steer",null,[],null,null,[],0])", "invalid length 8, expected fewer elements in array",
       "invalid length 8, expected 7 elements in sequence"},
      {R"(["Deny","steer",null,[[null,null,false,null,{},0]],null,null])",
       "invalid length 6, expected fewer elements in array", "invalid length 6, expected 5 elements in sequence"},
      {R"(["Deny","steer",null,[],null,[[],"e",1]])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {R"(["Deny","steer",null,[],[null,null,null,null],null])",
       "invalid length 4, expected fewer elements in array", "invalid length 4, expected 3 elements in sequence"},
      {R"([{"Deny":{}},"steer",null,[],null,null])", "invalid type: map, expected unit",
       R"({"decision":"Deny","mode":"steer"})"},
  };
  expect_cases<Adjudicated>(cases);
}

TEST(Steering, Forms) {
  const Case cases[] = {
      {R"({"explanation":"","instructions":[]})", R"({"instructions":[],"explanation":""})"},
      {R"([["a","b"],"e"])", R"({"instructions":["a","b"],"explanation":"e"})"},
      {R"([])", "invalid length 0, expected struct Steering with 2 elements"},
      {R"([["a"]])", "invalid length 1, expected struct Steering with 2 elements"},
      {R"([[],"e",null])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {R"({"instructions":null,"explanation":""})", "invalid type: null, expected a sequence"},
      {R"({"instructions":"a","explanation":""})", R"(invalid type: string "a", expected a sequence)"},
      {R"(1)", "invalid type: integer `1`, expected struct Steering"},
  };
  expect_cases<Steering>(cases);
}

TEST(Adjudicated, NestedErrorsCarryNoPosition) {
  EXPECT_EQ(round_trip<Adjudicated>(R"({"decision":"Allow","guardrails":{"semantic":{"available":true,)"
                                    R"("findings":[{"rubric_id":"a","category":"c"},{"rubric_id":"b","category":"c"},)"
                                    R"({"rubric_id":"c","category":[]}]}}})"),
            "invalid type: sequence, expected a string");
}

}  // namespace
}  // namespace revizer::result
