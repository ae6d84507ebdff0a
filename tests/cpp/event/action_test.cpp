// The action payloads' JSON forms, read directly and as buffered content.
#include "model/event/action_record.h"

#include "tests/cpp/json/json_cases.h"

namespace revizer::event {
namespace {

using testing::expect_cases;
using testing::JsonCase;

TEST(ToolCall, Forms) {
  const JsonCase cases[] = {
      {R"({"call_id":"c","tool":"t","arguments":null})", R"({"call_id":"c","tool":"t","arguments":null})"},
      // Arguments keep any JSON value and their key order.
      {R"({"arguments":{"z":1,"a":[true,{"y":null,"b":2.5}]},"tool":"t","call_id":"c"})",
       R"({"call_id":"c","tool":"t","arguments":{"z":1,"a":[true,{"y":null,"b":2.5}]}})"},
      {R"({"call_id":"c","tool":"t"})", "missing field `arguments`"},
      {R"({})", "missing field `call_id`"},
      {R"({"call_id":7,"tool":"t","arguments":1})", "invalid type: integer `7`, expected a string"},
      {R"({"Call_Id":"c","call_id":"d","tool":"t","arguments":-3})", R"({"call_id":"d","tool":"t","arguments":-3})"},
      {R"(["c","t",[1,"x"]])", R"({"call_id":"c","tool":"t","arguments":[1,"x"]})"},
      {R"(["c","t"])", "invalid length 2, expected struct ToolCall with 3 elements"},
      {R"(["c","t",null,4])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"("c")", R"(invalid type: string "c", expected struct ToolCall)"},
  };
  expect_cases<ToolCall>(cases);
}

TEST(ShellCommand, Forms) {
  const char* kNoDir = R"({"call_id":"c","command":"ls","working_dir":null})";
  const JsonCase cases[] = {
      {R"({"call_id":"c","command":"ls"})", kNoDir},
      {R"({"call_id":"c","command":"ls","working_dir":null})", kNoDir},
      {R"({"working_dir":"","command":"ls","call_id":"c"})", R"({"call_id":"c","command":"ls","working_dir":""})"},
      {R"({"call_id":"c","command":"ls","working_dir":3})", "invalid type: integer `3`, expected a string"},
      {R"({"call_id":"c"})", "missing field `command`"},
      {R"(["c","ls",null])", kNoDir},
      {R"(["c","ls"])", "invalid length 2, expected struct ShellCommand with 3 elements"},
      {R"(["c","ls",null,1])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"(5)", "invalid type: integer `5`, expected struct ShellCommand"},
  };
  expect_cases<ShellCommand>(cases);
}

TEST(WebFetch, Forms) {
  const JsonCase cases[] = {
      {R"({"prompt":"p","url":"u","call_id":"c"})", R"({"call_id":"c","url":"u","prompt":"p"})"},
      {R"({"call_id":"c","url":"u"})", "missing field `prompt`"},
      {R"(["c","u","p"])", R"({"call_id":"c","url":"u","prompt":"p"})"},
      {R"([])", "invalid length 0, expected struct WebFetch with 3 elements"},
      {R"(null)", "invalid type: null, expected struct WebFetch"},
  };
  expect_cases<WebFetch>(cases);
}

TEST(FileOperation, FormsAndOperationNames) {
  const JsonCase cases[] = {
      {R"({"call_id":"c","operation":"Read","path":"p"})", R"({"call_id":"c","operation":"Read","path":"p"})"},
      {R"({"call_id":"c","operation":"Write","path":"p","content":""})",
       R"({"call_id":"c","operation":"Write","path":"p","content":""})"},
      {R"({"old_content":"o","content":"n","path":"p","operation":"Edit","call_id":"c"})",
       R"({"call_id":"c","operation":"Edit","path":"p","content":"n","old_content":"o"})"},
      {R"({"call_id":"c","operation":"Delete","path":"p","content":null,"old_content":"o"})",
       R"({"call_id":"c","operation":"Delete","path":"p","old_content":"o"})"},
      {R"({"call_id":"c","path":"p"})", "missing field `operation`"},
      {R"({"call_id":"c","operation":"read","path":"p"})",
       "unknown variant `read`, expected one of `Read`, `Write`, `Edit`, `Delete`"},
      {R"({"call_id":"c","operation":{"Delete":null},"path":"p"})",
       R"({"call_id":"c","operation":"Delete","path":"p"})"},
      {R"({"call_id":"c","operation":{"Edit":{}},"path":"p"})", "invalid type: map, expected unit",
       R"({"call_id":"c","operation":"Edit","path":"p"})"},
      {R"({"call_id":"c","operation":{"Edit":1},"path":"p"})", "invalid type: integer `1`, expected unit"},
      // The name is matched before the entry's value is looked at.
      {R"({"call_id":"c","operation":{"edit":1},"path":"p"})",
       "unknown variant `edit`, expected one of `Read`, `Write`, `Edit`, `Delete`"},
      {R"({"call_id":"c","operation":{},"path":"p"})", "invalid value: map, expected map with a single key"},
      {R"({"call_id":"c","operation":{"Read":null,"Write":null},"path":"p"})",
       "invalid value: map, expected map with a single key"},
      {R"({"call_id":"c","operation":2,"path":"p"})", "invalid type: integer `2`, expected string or map"},
      {R"(["c","Write","p",null,null])", R"({"call_id":"c","operation":"Write","path":"p"})"},
      {R"(["c","Write","p"])", "invalid length 3, expected struct FileOperation with 5 elements"},
      {R"(["c","Write","p",null,null,null])", "invalid length 6, expected fewer elements in array",
       "invalid length 6, expected 5 elements in sequence"},
  };
  expect_cases<FileOperation>(cases);
}

TEST(ActionPayloads, WrittenAndReadBackEqual) {
  FileOperation op{"c", FileOpType::Edit, "p", std::nullopt, std::nullopt};
  for (auto content : {std::optional<std::string>{}, std::optional<std::string>{""}, std::optional<std::string>{"x"}})
    for (auto old : {std::optional<std::string>{}, std::optional<std::string>{""}, std::optional<std::string>{"y"}}) {
      op.content = content;
      op.old_content = old;
      auto back = json::decode<FileOperation>(json::encode(op));
      ASSERT_TRUE(back);
      EXPECT_EQ(*back, op);
    }
  ToolCall call{"c", "t", testing::value_of(R"({"b":[1,-2,3.5e300],"a":{"":null}})")};
  auto back = json::decode<ToolCall>(json::encode(call));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, call);
}

}  // namespace
}  // namespace revizer::event
