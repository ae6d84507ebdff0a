#include "model/result/guardrails_record.h"

#include <gtest/gtest.h>

#include "tests/cpp/json/json_cases.h"

namespace revizer::result {
namespace {

using namespace revizer::testing;
using Case = testing::JsonCase;

TEST(IfcGuardrailResult, Forms) {
  const Case cases[] = {
      {R"({"label":"restricted"})", R"({"label":"restricted"})"},
      {R"({"label":"l","available":null})", R"({"label":"l"})"},
      {R"({"label":"l","available":false})", R"({"label":"l","available":false})"},
      {R"({"explanation":"e","available":true,"fallback_reason":"f","label":"l","x":1})",
       R"({"label":"l","fallback_reason":"f","available":true,"explanation":"e"})"},
      {R"({})", "missing field `label`"},
      {R"({"label":null})", "invalid type: null, expected a string"},
      {R"({"label":"l","available":"yes"})", R"(invalid type: string "yes", expected a boolean)"},
      {R"({"label":"l","fallback_reason":1})", "invalid type: integer `1`, expected a string"},
      {R"(["l",null,null,null])", R"({"label":"l"})"},
      {R"(["l"])", "invalid length 1, expected struct IfcGuardrailResult with 4 elements"},
      {R"([])", "invalid length 0, expected struct IfcGuardrailResult with 4 elements"},
      {R"(["l",null,null])", "invalid length 3, expected struct IfcGuardrailResult with 4 elements"},
      {R"(["l",null,null,null,1])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
      {R"(true)", "invalid type: boolean `true`, expected struct IfcGuardrailResult"},
  };
  expect_cases<IfcGuardrailResult>(cases);
}

TEST(SemanticGuardrailResult, Forms) {
  const Case cases[] = {
      {R"({"available":false})", R"({"available":false})"},
      {R"({"available":true,"categories":[],"findings":[],"unavailable_rubrics":[]})", R"({"available":true})"},
      {R"({"unavailable_rubrics":["r2"],"findings":[{"rubric_id":"b","category":"c"},{"rubric_id":"a","category":"c"},)"
       R"({"rubric_id":"b","category":"c","explanation":"e"}],"available":true,"categories":["x","x"]})",
       R"({"categories":["x","x"],"available":true,"findings":[{"rubric_id":"b","category":"c"},)"
       R"({"rubric_id":"a","category":"c"},{"rubric_id":"b","category":"c","explanation":"e"}],)"
       R"("unavailable_rubrics":["r2"]})"},
      {R"({})", "missing field `available`"},
      {R"({"categories":["a"]})", "missing field `available`"},
      {R"({"available":null})", "invalid type: null, expected a boolean"},
      {R"({"available":true,"findings":null})", "invalid type: null, expected a sequence"},
      {R"({"available":true,"categories":"a"})", R"(invalid type: string "a", expected a sequence)"},
      {R"({"available":true,"unavailable_rubrics":[1]})", "invalid type: integer `1`, expected a string"},
      {R"({"available":true,"findings":[{}]})", "missing field `rubric_id`"},
      {R"([])", "invalid length 1, expected struct SemanticGuardrailResult with 4 elements"},
      {R"([["a"]])", "invalid length 1, expected struct SemanticGuardrailResult with 4 elements"},
      {R"([[],true])", R"({"available":true})"},
      {R"([[],true,[["r","c",null]],["u"]])",
       R"({"available":true,"findings":[{"rubric_id":"r","category":"c"}],"unavailable_rubrics":["u"]})"},
      {R"([[],true,[],[],0])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
      {R"("x")", R"(invalid type: string "x", expected struct SemanticGuardrailResult)"},
  };
  expect_cases<SemanticGuardrailResult>(cases);
}

TEST(SemanticGuardrailFinding, Forms) {
  const Case cases[] = {
      {R"({"category":"c","rubric_id":"r"})", R"({"rubric_id":"r","category":"c"})"},
      {R"({"rubric_id":"r","category":"c","explanation":null})", R"({"rubric_id":"r","category":"c"})"},
      {R"({})", "missing field `rubric_id`"},
      {R"({"rubric_id":"r"})", "missing field `category`"},
      {R"({"rubric_id":"r","category":3})", "invalid type: integer `3`, expected a string"},
      {R"(["r","c"])", "invalid length 2, expected struct SemanticGuardrailFinding with 3 elements"},
      {R"(["r","c",null])", R"({"rubric_id":"r","category":"c"})"},
      {R"(["r","c","e",1])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"(null)", "invalid type: null, expected struct SemanticGuardrailFinding"},
  };
  expect_cases<SemanticGuardrailFinding>(cases);
}

TEST(SignatureGuardrailResult, Forms) {
  const Case cases[] = {
      {R"({"triggered":false})", R"({"triggered":false})"},
      {R"({"triggered":true,"severity":""})", R"({"triggered":true,"severity":""})"},
      {R"({"triggered":true,"severity":null,"categories":[]})", R"({"triggered":true})"},
      {R"({"matches":[{"rule":"r2"},{"rule":"r1","namespace":"ns"}],"categories":["b","a"],"severity":"high",)"
       R"("triggered":false})",
       R"({"triggered":false,"severity":"high","categories":["b","a"],"matches":[{"rule":"r2"},)"
       R"({"rule":"r1","namespace":"ns"}]})"},
      {R"({})", "missing field `triggered`"},
      {R"({"triggered":null})", "invalid type: null, expected a boolean"},
      {R"({"triggered":true,"categories":null})", "invalid type: null, expected a sequence"},
      {R"({"triggered":true,"matches":{}})", "invalid type: map, expected a sequence"},
      {R"({"triggered":true,"matches":[{}]})", "missing field `rule`"},
      {R"({"triggered":true,"severity":2})", "invalid type: integer `2`, expected a string"},
      {R"([true,null])", R"({"triggered":true})"},
      {R"([true])", "invalid length 1, expected struct SignatureGuardrailResult with 4 elements"},
      {R"([true,null,[],[["r",null]]])", R"({"triggered":true,"matches":[{"rule":"r"}]})"},
      {R"([true,null,[],[],1])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
  };
  expect_cases<SignatureGuardrailResult>(cases);
}

TEST(SignatureGuardrailMatch, Forms) {
  const Case cases[] = {
      {R"({"rule":"r","namespace":null})", R"({"rule":"r"})"},
      {R"({"rule":"r","metadata":{"k":"v"},"namespace":"ns"})", R"({"rule":"r","namespace":"ns","metadata":{"k":"v"}})"},
      {R"({"rule":"r","metadata":{"k":1}})", "invalid type: integer `1`, expected a string"},
      {R"({"rule":"r","metadata":null})", "invalid type: null, expected a map"},
      {R"({"rule":"r","metadata":[]})", "invalid type: sequence, expected a map"},
      {R"({"namespace":"ns"})", "missing field `rule`"},
      {R"(["r"])", "invalid length 1, expected struct SignatureGuardrailMatch with 3 elements"},
      {R"(["r",null])", R"({"rule":"r"})"},
      {R"(["r",null,{},1])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"(1.5)", "invalid type: floating point `1.5`, expected struct SignatureGuardrailMatch"},
  };
  expect_cases<SignatureGuardrailMatch>(cases);
}

TEST(SignatureGuardrailMatch, MetadataEqualityIgnoresOrder) {
  auto a = json::decode<SignatureGuardrailMatch>(value_of(R"({"rule":"r","metadata":{"x":"1","y":"2","z":"3"}})"));
  auto b = json::decode<SignatureGuardrailMatch>(value_of(R"({"rule":"r","metadata":{"z":"3","x":"1","y":"2"}})"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  EXPECT_EQ(json::encode(*a), json::encode(*b));  // JSON equality, any key order
}

TEST(GuardrailResults, Forms) {
  const Case cases[] = {
      {R"({})", R"({})"},
      {R"({"signature":null,"ifc":null,"semantic":null})", R"({})"},
      {R"({"other":1,"Signature":{}})", R"({})"},
      {R"({"semantic":{"available":true},"ifc":{"label":"l"},"signature":{"triggered":true}})",
       R"({"signature":{"triggered":true},"ifc":{"label":"l"},"semantic":{"available":true}})"},
      {R"({"signature":{}})", "missing field `triggered`"},
      {R"({"signature":{"triggered":true,"matches":[{}]}})", "missing field `rule`"},
      {R"({"ifc":{}})", "missing field `label`"},
      {R"({"semantic":{}})", "missing field `available`"},
      {R"({"ifc":"l"})", R"(invalid type: string "l", expected struct IfcGuardrailResult)"},
      {R"([null,null,null])", R"({})"},
      {R"([null,null])", "invalid length 2, expected struct GuardrailResults with 3 elements"},
      {R"([[true],null,null])", "invalid length 1, expected struct SignatureGuardrailResult with 4 elements"},
      {R"([null,null,null,null])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"(5)", "invalid type: integer `5`, expected struct GuardrailResults"},
  };
  expect_cases<GuardrailResults>(cases);
}

}  // namespace
}  // namespace revizer::result
