#include "model/agent/tool_record.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/cpp/json/json_cases.h"

namespace revizer::agent {
namespace {

using Case = testing::JsonCase;
using testing::expect_cases;
using testing::value_of;

TEST(Tool, WritesKeysInDeclarationOrder) {
  Tool minimal;
  minimal.name = "search";
  minimal.description = "finds";
  EXPECT_EQ(json::write(json::encode(minimal)), R"({"name":"search","description":"finds","parameters":[]})");

  Tool full;
  full.id = "t1";
  full.name = "n";
  full.description = "d";
  full.parameters = {{"a", "first", "string"}, {"b", "second", "int"}};
  full.parameters_json_schema = R"({"type":"object"})";
  full.response = "r";
  full.response_json_schema = "{}";
  full.source = SourceCode{"python", "print(1)"};
  const std::string text = json::write(json::encode(full));
  EXPECT_EQ(text,
            R"({"id":"t1","name":"n","description":"d","parameters":[{"name":"a","description":"first","type":"string"},)"
            R"({"name":"b","description":"second","type":"int"}],"parameters_json_schema":"{\"type\":\"object\"}",)"
            R"j("response":"r","response_json_schema":"{}","source":{"language":"python","code":"print(1)"}})j");
  auto back = json::decode<Tool>(value_of(text));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, full);  // parameters keep their order
}

TEST(Tool, ObjectForm) {
  const Case cases[] = {
      {R"({"description":"d","name":"n"})", R"({"name":"n","description":"d","parameters":[]})"},
      {R"({"name":"n","description":"d","extra":[1,2],"Name":"x"})", R"({"name":"n","description":"d","parameters":[]})"},
      {R"({"id":null,"name":"n","description":"d","response":null,"source":null})",
       R"({"name":"n","description":"d","parameters":[]})"},
      {R"({"id":"a","id":"b","name":"n","description":"d"})", R"({"id":"b","name":"n","description":"d","parameters":[]})"},
      {R"({})", "missing field `name`"},
      {R"({"Name":"n","description":"d"})", "missing field `name`"},
      {R"({"name":"n"})", "missing field `description`"},
      {R"({"name":"n","description":"d","parameters":null})", "invalid type: null, expected a sequence"},
      {R"({"name":"n","description":"d","parameters":{}})", "invalid type: map, expected a sequence"},
      {R"({"name":"n","description":"d","parameters_json_schema":{"type":"object"}})",
       "invalid type: map, expected a string"},
      {R"({"name":"n","description":"d","parameters_json_schema":"{\"type\":\"object\"}"})",
       R"({"name":"n","description":"d","parameters":[],"parameters_json_schema":"{\"type\":\"object\"}"})"},
      {R"({"name":5,"description":"d"})", "invalid type: integer `5`, expected a string"},
      {R"({"name":[],"description":"d"})", "invalid type: sequence, expected a string"},
      // The first bad value in input order wins over a missing key.
      {R"({"description":7})", "invalid type: integer `7`, expected a string"},
      {R"({"name":"n","description":"d","parameters":[{"name":"a","description":"b","param_type":"c"}]})",
       "missing field `type`"},
      {R"({"name":"n","description":"d","parameters":[{"name":"a","description":"b","type":"c"},5]})",
       "invalid type: integer `5`, expected struct Parameter"},
      {R"({"name":"n","description":"d","source":{"language":"py"}})", "missing field `code`"},
      {R"({"name":"n","description":"d","source":"py"})", R"(invalid type: string "py", expected struct SourceCode)"},
      {R"("abc")", R"(invalid type: string "abc", expected struct Tool)"},
      {R"(null)", "invalid type: null, expected struct Tool"},
      {R"(2.5)", "invalid type: floating point `2.5`, expected struct Tool"},
  };
  expect_cases<Tool>(cases);
}

TEST(Tool, ArrayFormAndPositionRule) {
  const char* kNoId = R"({"name":"n","description":"d","parameters":[]})";
  const Case cases[] = {
      {R"(["i","n","d"])", R"({"id":"i","name":"n","description":"d","parameters":[]})", nullptr},
      {R"([null,"n","d",[],null,null,null,null])", kNoId, nullptr},
      {R"([])", "invalid length 1, expected struct Tool with 8 elements", nullptr},
      {R"(["n"])", "invalid length 1, expected struct Tool with 8 elements", nullptr},
      {R"([null,"n"])", "invalid length 2, expected struct Tool with 8 elements", nullptr},
      {R"([null,"n","d",[],null,null,null,null,1])", "invalid length 9, expected fewer elements in array",
       "invalid length 9, expected 8 elements in sequence"},
      // An element error comes before the surplus check.
      {R"([null,5,"d",[],null,null,null,null,1])", "invalid type: integer `5`, expected a string", nullptr},
      {R"([null,"n","d",[["a","b","c"]],null,null,null,["py","x"]])",
       R"({"name":"n","description":"d","parameters":[{"name":"a","description":"b","type":"c"}],)"
       R"("source":{"language":"py","code":"x"}})",
       nullptr},
      {R"([null,"n","d",[["a","b"]]])", "invalid length 2, expected struct Parameter with 3 elements", nullptr},
      {R"([null,"n","d",[["a","b","c","x"]]])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"([null,"n","d",[],null,null,null,["py"]])", "invalid length 1, expected struct SourceCode with 2 elements",
       nullptr},
      {R"([null,"n","d",[],null,null,null,["py","x","y"]])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
  };
  expect_cases<Tool>(cases);
}

TEST(Parameter, KeysAndArrayForm) {
  const Case cases[] = {
      {R"({"type":"t","name":"n","description":"d"})", R"({"name":"n","description":"d","type":"t"})"},
      {R"(["n","d","t"])", R"({"name":"n","description":"d","type":"t"})"},
      {R"({"name":"n","description":"d","param_type":"t"})", "missing field `type`"},
      {R"({"description":"d"})", "missing field `name`"},
      {R"([])", "invalid length 0, expected struct Parameter with 3 elements"},
      {R"(["n","d"])", "invalid length 2, expected struct Parameter with 3 elements"},
      {R"(true)", "invalid type: boolean `true`, expected struct Parameter"},
  };
  expect_cases<Parameter>(cases);
}

}  // namespace
}  // namespace revizer::agent
