// The observation payloads' JSON forms, read directly and as buffered content.
#include "model/event/observation_record.h"

#include "tests/cpp/json/json_cases.h"

namespace revizer::event {
namespace {

using testing::expect_cases;
using testing::JsonCase;

TEST(Prompt, FormsAndRoleNames) {
  const JsonCase cases[] = {
      {R"({"role":"Assistant","content":"hi"})", R"({"content":"hi","role":"Assistant"})"},
      {R"({"content":"hi","role":"user"})", "unknown variant `user`, expected one of `User`, `System`, `Assistant`"},
      {R"({"content":"hi","role":{"Assistant":null}})", R"({"content":"hi","role":"Assistant"})"},
      {R"({"content":"hi","role":{"System":{}}})", "invalid type: map, expected unit",
       R"({"content":"hi","role":"System"})"},
      {R"({"content":"hi","role":{"System":{"a":1}}})", "invalid type: map, expected unit"},
      {R"({"content":"hi","role":null})", "invalid type: null, expected string or map"},
      {R"({"content":"hi"})", "missing field `role`"},
      {R"(["hi","User"])", R"({"content":"hi","role":"User"})"},
      {R"(["hi"])", "invalid length 1, expected struct Prompt with 2 elements"},
  };
  expect_cases<Prompt>(cases);
}

TEST(Thought, OneFieldTexts) {
  const JsonCase cases[] = {
      {R"({"thought":"t","x":{}})", R"({"thought":"t"})"},
      {R"(["t"])", R"({"thought":"t"})"},
      {R"([])", "invalid length 0, expected struct Thought with 1 element"},
      {R"(["a","b"])", "invalid length 2, expected fewer elements in array",
       "invalid length 2, expected 1 element in sequence"},
      {R"(5)", "invalid type: integer `5`, expected struct Thought"},
  };
  expect_cases<Thought>(cases);
}

TEST(ToolOutput, Forms) {
  const JsonCase cases[] = {
      {R"({"call_id":"c","success":true,"output":{"b":1,"a":2}})",
       R"({"call_id":"c","success":true,"output":{"b":1,"a":2},"error":null})"},
      {R"({"call_id":"c","success":false,"output":null,"error":"boom"})",
       R"({"call_id":"c","success":false,"output":null,"error":"boom"})"},
      {R"({"call_id":"c","success":false,"error":null})", "missing field `output`"},
      {R"({"call_id":"c"})", "missing field `success`"},
      {R"({"call_id":"c","success":1,"output":1})", "invalid type: integer `1`, expected a boolean"},
      {R"(["c",true,{}])", "invalid length 3, expected struct ToolOutput with 4 elements"},
      {R"(["c",true,{},null])", R"({"call_id":"c","success":true,"output":{},"error":null})"},
  };
  expect_cases<ToolOutput>(cases);
}

TEST(ShellCommandOutput, ExitCodeRange) {
  const JsonCase cases[] = {
      {R"({"call_id":"c","exit_code":-1,"stdout":"o","stderr":"e"})",
       R"({"call_id":"c","exit_code":-1,"stdout":"o","stderr":"e"})"},
      {R"({"call_id":"c","exit_code":2147483647,"stdout":"","stderr":""})",
       R"({"call_id":"c","exit_code":2147483647,"stdout":"","stderr":""})"},
      {R"({"call_id":"c","exit_code":-2147483648,"stdout":"","stderr":""})",
       R"({"call_id":"c","exit_code":-2147483648,"stdout":"","stderr":""})"},
      {R"({"call_id":"c","exit_code":2147483648,"stdout":"","stderr":""})",
       "invalid value: integer `2147483648`, expected i32"},
      {R"({"call_id":"c","exit_code":-2147483649,"stdout":"","stderr":""})",
       "invalid value: integer `-2147483649`, expected i32"},
      {R"({"call_id":"c","exit_code":1.5})", "invalid type: floating point `1.5`, expected i32"},
      {R"({"call_id":"c","exit_code":1.0})", "invalid type: floating point `1.0`, expected i32"},
      {R"({"call_id":"c","exit_code":1e2})", "invalid type: floating point `100.0`, expected i32"},
      {R"({"call_id":"c","exit_code":true})", "invalid type: boolean `true`, expected i32"},
      {R"({"call_id":"c","exit_code":0,"stdout":"o"})", "missing field `stderr`"},
  };
  expect_cases<ShellCommandOutput>(cases);
}

TEST(WebFetchOutput, Forms) {
  const JsonCase cases[] = {
      {R"({"result":"r","code":404,"url":"u","call_id":"c"})", R"({"call_id":"c","url":"u","code":404,"result":"r"})"},
      {R"({"call_id":"c","url":"u","code":"200","result":"r"})", R"(invalid type: string "200", expected i32)"},
      {R"(["c","u",200,"r","x"])", "invalid length 5, expected fewer elements in array",
       "invalid length 5, expected 4 elements in sequence"},
  };
  expect_cases<WebFetchOutput>(cases);
}

TEST(FileOperationResult, Forms) {
  const JsonCase cases[] = {
      {R"({"call_id":"c","success":true})", R"({"call_id":"c","success":true,"content":null,"error":null})"},
      {R"({"error":"","content":"x","success":false,"call_id":"c"})",
       R"({"call_id":"c","success":false,"content":"x","error":""})"},
      {R"({"success":true})", "missing field `call_id`"},
      {R"(["c",true,null])", "invalid length 3, expected struct FileOperationResult with 4 elements"},
  };
  expect_cases<FileOperationResult>(cases);
}

TEST(ObservationPayloads, WrittenAndReadBackEqual) {
  FileOperationResult result{"c", true, std::nullopt, std::nullopt};
  for (auto content : {std::optional<std::string>{}, std::optional<std::string>{""}})
    for (auto error : {std::optional<std::string>{}, std::optional<std::string>{"e"}}) {
      result.content = content;
      result.error = error;
      auto back = json::decode<FileOperationResult>(json::encode(result));
      ASSERT_TRUE(back);
      EXPECT_EQ(*back, result);
    }
  ToolOutput output{"c", false, json::Value(), "e"};
  auto back = json::decode<ToolOutput>(json::encode(output));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, output);
}

}  // namespace
}  // namespace revizer::event
