#include "model/result/policy_record.h"

#include <gtest/gtest.h>

#include "tests/cpp/json/json_cases.h"

namespace revizer::result {
namespace {

using namespace revizer::testing;
using Case = testing::JsonCase;

TEST(PolicyMetadata, ObjectForm) {
  const Case cases[] = {
      {R"({})", R"({})"},
      {R"({"escalate":false})", R"({})"},
      {R"({"escalate":true})", R"({"escalate":true})"},
      {R"({"policy_id":null,"description":null,"escalate_arg":null,"other":[1]})", R"({})"},
      {R"({"metadata":{"k":"v"},"escalate_arg":"a","escalate":true,"description":"d","policy_id":"p"})",
       R"({"policy_id":"p","description":"d","escalate":true,"escalate_arg":"a","metadata":{"k":"v"}})"},
      {R"({"metadata":{}})", R"({})"},
      {R"({"escalate":null})", "invalid type: null, expected a boolean"},
      {R"({"escalate":1})", "invalid type: integer `1`, expected a boolean"},
      {R"({"metadata":null})", "invalid type: null, expected a map"},
      {R"({"metadata":[]})", "invalid type: sequence, expected a map"},
      {R"({"metadata":{"k":1}})", "invalid type: integer `1`, expected a string"},
      {R"({"policy_id":5})", "invalid type: integer `5`, expected a string"},
      {R"({"escalate_arg":false})", "invalid type: boolean `false`, expected a string"},
      // The first bad value in input order decides.
      {R"({"metadata":{"k":1},"policy_id":5})", "invalid type: integer `1`, expected a string"},
      {R"(null)", "invalid type: null, expected struct PolicyMetadata"},
      {R"("p")", R"(invalid type: string "p", expected struct PolicyMetadata)"},
  };
  expect_cases<PolicyMetadata>(cases);
}

TEST(PolicyMetadata, ArrayForm) {
  const Case cases[] = {
      {R"([null,null,false,null])", R"({})"},
      {R"(["p","d",true,"a",{"k":"v"}])",
       R"({"policy_id":"p","description":"d","escalate":true,"escalate_arg":"a","metadata":{"k":"v"}})"},
      {R"([])", "invalid length 0, expected struct PolicyMetadata with 5 elements"},
      {R"(["p"])", "invalid length 1, expected struct PolicyMetadata with 5 elements"},
      // `escalate` may be left off, so two elements stop at the fourth.
      {R"(["p","d"])", "invalid length 3, expected struct PolicyMetadata with 5 elements"},
      {R"(["p","d",false])", "invalid length 3, expected struct PolicyMetadata with 5 elements"},
      {R"([null,null,null,null])", "invalid type: null, expected a boolean"},
      {R"([null,null,false,null,{},1])", "invalid length 6, expected fewer elements in array",
       "invalid length 6, expected 5 elements in sequence"},
  };
  expect_cases<PolicyMetadata>(cases);
}

TEST(PolicyMetadata, MetadataInHashOrderAndEqualWhateverTheOrder) {
  PolicyMetadata a;
  a.metadata = {{"a", "1"}, {"b", "2"}, {"c", "3"}};
  const std::string text = json::write(json::encode(a));
  // Any order, each entry once (JSON equality ignores key order).
  EXPECT_EQ(value_of(text), value_of(R"({"metadata":{"b":"2","c":"3","a":"1"}})")) << text;
  auto back = json::decode<PolicyMetadata>(value_of(text));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, a);

  auto reordered = json::decode<PolicyMetadata>(value_of(R"({"metadata":{"c":"3","b":"2","a":"1"}})"));
  ASSERT_TRUE(reordered);
  EXPECT_EQ(*reordered, a);
}

TEST(PolicyProvenance, Forms) {
  const Case cases[] = {
      {R"({"name":"p"})", R"({"name":"p"})"},
      {R"({"labels":{"z":"1","a":"2"},"name":"p"})", R"({"name":"p","labels":{"a":"2","z":"1"}})"},
      {R"({"name":"p","labels":{}})", R"({"name":"p"})"},
      {R"({})", "missing field `name`"},
      {R"({"labels":{"a":"b"}})", "missing field `name`"},
      {R"({"name":null})", "invalid type: null, expected a string"},
      {R"({"name":"p","labels":null})", "invalid type: null, expected a map"},
      {R"({"name":"p","labels":{"a":true}})", "invalid type: boolean `true`, expected a string"},
      {R"(["p"])", R"({"name":"p"})"},
      {R"(["p",{"B":"1","a":"2"}])", R"({"name":"p","labels":{"B":"1","a":"2"}})"},
      {R"([])", "invalid length 0, expected struct PolicyProvenance with 2 elements"},
      {R"(["p",{},1])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {R"(7)", "invalid type: integer `7`, expected struct PolicyProvenance"},
  };
  expect_cases<PolicyProvenance>(cases);
}

TEST(PolicySetProvenance, ObjectForm) {
  const Case cases[] = {
      {R"({"name":"s"})", R"({"name":"s"})"},
      {R"({"policies":[{"name":"p","labels":{"z":"","a":""}}],"labels":{"z":"1","a":"2"},"digest":"sha256:00",)"
       R"("revision":"r7","version":3,"name":"s"})",
       R"({"name":"s","version":3,"revision":"r7","digest":"sha256:00","labels":{"a":"2","z":"1"},)"
       R"("policies":[{"name":"p","labels":{"a":"","z":""}}]})"},
      {R"({"name":"s","version":0})", R"({"name":"s","version":0})"},
      {R"({"name":"s","version":-5})", R"({"name":"s","version":-5})"},
      {R"({"name":"s","version":-9223372036854775808})", R"({"name":"s","version":-9223372036854775808})"},
      {R"({"name":"s","version":9223372036854775807})", R"({"name":"s","version":9223372036854775807})"},
      {R"({"name":"s","version":null,"revision":null,"digest":null})", R"({"name":"s"})"},
      {R"({"name":"s","version":9223372036854775808})",
       "invalid value: integer `9223372036854775808`, expected i64"},
      {R"({"name":"s","version":18446744073709551615})",
       "invalid value: integer `18446744073709551615`, expected i64"},
      {R"({"name":"s","version":3.5})", "invalid type: floating point `3.5`, expected i64"},
      {R"({"name":"s","version":1.0})", "invalid type: floating point `1.0`, expected i64"},
      {R"({"name":"s","version":18446744073709551616})",
       "invalid type: floating point `1.8446744073709552e+19`, expected i64"},
      {R"({"name":"s","version":"3"})", R"(invalid type: string "3", expected i64)"},
      {R"({"name":"s","revision":1})", "invalid type: integer `1`, expected a string"},
      {R"({"name":"s","labels":null})", "invalid type: null, expected a map"},
      {R"({"name":"s","policies":null})", "invalid type: null, expected a sequence"},
      {R"({"name":"s","policies":[{"labels":{"a":"b"}}]})", "missing field `name`"},
      {R"({"name":"s","policies":[{"name":"p"},3]})", "invalid type: integer `3`, expected struct PolicyProvenance"},
      {R"({"version":3})", "missing field `name`"},
  };
  expect_cases<PolicySetProvenance>(cases);
}

TEST(PolicySetProvenance, ArrayForm) {
  const Case cases[] = {
      {R"(["s"])", R"({"name":"s"})"},
      {R"(["s",1,"r","d",{"k":"v"},[["p",{"a":"b"}]]])",
       R"({"name":"s","version":1,"revision":"r","digest":"d","labels":{"k":"v"},"policies":[{"name":"p","labels":{"a":"b"}}]})"},
      {R"(["s",null,null])", R"({"name":"s"})"},
      {R"([])", "invalid length 0, expected struct PolicySetProvenance with 6 elements"},
      {R"(["s",null,null,null,{},[],0])", "invalid length 7, expected fewer elements in array",
       "invalid length 7, expected 6 elements in sequence"},
      {R"(["s",null,null,null,{},[["p",{},1]]])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
  };
  expect_cases<PolicySetProvenance>(cases);
}

TEST(PolicyLists, DecodeAsSequences) {
  EXPECT_EQ(round_trip<std::vector<PolicyMetadata>>(R"({})"), "invalid type: map, expected a sequence");
  EXPECT_EQ(round_trip<std::vector<PolicyMetadata>>(R"(null)"), "invalid type: null, expected a sequence");
  EXPECT_EQ(round_trip<std::vector<PolicyMetadata>>(R"([])"), "[]");
  EXPECT_EQ(round_trip<std::vector<PolicyMetadata>>(R"([{"policy_id":"b"},{},{"policy_id":"b"}])"),
            R"([{"policy_id":"b"},{},{"policy_id":"b"}])");
  EXPECT_EQ(round_trip<std::vector<PolicySetProvenance>>(R"([{"name":"a"},{"name":1},{}])"),
            "invalid type: integer `1`, expected a string");
}

}  // namespace
}  // namespace revizer::result
