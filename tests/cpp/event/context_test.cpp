// Actor, Causality and ExecutionAttribution in their JSON forms.
#include "model/event/context_record.h"

#include "tests/cpp/json/json_cases.h"

namespace revizer::event {
namespace {

using testing::expect_cases;
using testing::JsonCase;

TEST(Actor, Forms) {
  const JsonCase cases[] = {
      {R"({"actor_type":"Human","id":"u"})", R"({"id":"u","actor_type":"Human"})"},
      {R"({"id":"p","actor_type":{"Policy":null}})", R"({"id":"p","actor_type":"Policy"})"},
      {R"({"id":"u","actor_type":"human"})", "unknown variant `human`, expected one of `Human`, `Agent`, `System`, `Policy`"},
      {R"({"id":"u","actor_type":{}})", "invalid value: map, expected map with a single key"},
      {R"({"id":"u","actor_type":1})", "invalid type: integer `1`, expected string or map"},
      {R"({})", "missing field `id`"},
      {R"({"id":"u"})", "missing field `actor_type`"},
      {R"(["u","Human"])", R"({"id":"u","actor_type":"Human"})"},
      {R"(["u"])", "invalid length 1, expected struct Actor with 2 elements"},
      {R"(["u","Agent",1])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {R"("u")", R"(invalid type: string "u", expected struct Actor)"},
  };
  expect_cases<Actor>(cases);
}

TEST(Causality, Forms) {
  const JsonCase cases[] = {
      {R"({"correlation_id":"c"})", R"({"correlation_id":"c","causation_id":null,"parent_id":null})"},
      {R"({"parent_id":"p","correlation_id":"c","causation_id":""})",
       R"({"correlation_id":"c","causation_id":"","parent_id":"p"})"},
      {R"({"causation_id":"x"})", "missing field `correlation_id`"},
      {R"({"correlation_id":"c","parent_id":5})", "invalid type: integer `5`, expected a string"},
      {R"(["c",null,"p"])", R"({"correlation_id":"c","causation_id":null,"parent_id":"p"})"},
      {R"(["c",null])", "invalid length 2, expected struct Causality with 3 elements"},
      {R"(null)", "invalid type: null, expected struct Causality"},
  };
  expect_cases<Causality>(cases);
}

TEST(ExecutionAttribution, Forms) {
  const JsonCase cases[] = {
      {R"({"agent_name":"a"})", R"({"agent_name":"a"})"},
      {R"({"agent_name":"a","agent_path":[]})", R"({"agent_name":"a"})"},
      {R"({"agent_path":["a","b"],"agent_name":"b"})", R"({"agent_name":"b","agent_path":["a","b"]})"},
      {R"({"agent_name":"a","agent_path":null})", "invalid type: null, expected a sequence"},
      {R"({"agent_path":[]})", "missing field `agent_name`"},
      {R"(["a"])", R"({"agent_name":"a"})"},
      {R"(["a",["x"]])", R"({"agent_name":"a","agent_path":["x"]})"},
      {R"([])", "invalid length 0, expected struct ExecutionAttribution with 2 elements"},
      {R"(["a",[],3])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {R"(1.5)", "invalid type: floating point `1.5`, expected struct ExecutionAttribution"},
  };
  expect_cases<ExecutionAttribution>(cases);
}

}  // namespace
}  // namespace revizer::event
