// The trajectory event union: both levels in object and array forms, either
// key order, buffered content, and the derived names.
#include "model/event/trajectory_event.h"

#include "tests/cpp/json/json_cases.h"

namespace revizer::event {
namespace {

using testing::JsonCase;
using testing::round_trip;
using testing::value_of;

constexpr const char* kCall = R"({"call_id":"c","tool":"t","arguments":{"b":1,"a":null}})";
constexpr const char* kCallEvent =
    R"({"category":"Action","payload":{"type":"ToolCall","data":{"call_id":"c","tool":"t","arguments":{"b":1,"a":null}}}})";
constexpr const char* kCategories = "one of `Action`, `Observation`, `Control`, `State`";

std::string event(std::string_view text) { return round_trip<TrajectoryEvent>(text); }

TEST(TrajectoryEvent, WritesCategoryThenPayloadTypeThenData) {
  TrajectoryEvent e{std::in_place_type<Action>, ToolCall{"c", "t", value_of(R"({"b":1,"a":null})")}};
  EXPECT_EQ(json::write(json::encode(e)), kCallEvent);
  auto back = json::decode<TrajectoryEvent>(json::encode(e));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, e);
}

TEST(TrajectoryEvent, EitherKeyOrderAndSkippedKeys) {
  const std::string payload = std::string(R"({"type":"ToolCall","data":)") + kCall + "}";
  const std::string data_first = std::string(R"({"data":)") + kCall + R"(,"type":"ToolCall"})";
  for (const std::string& p : {payload, data_first}) {
    EXPECT_EQ(event(R"({"category":"Action","payload":)" + p + "}"), kCallEvent) << p;
    EXPECT_EQ(event(R"({"payload":)" + p + R"(,"category":"Action"})"), kCallEvent) << p;
    EXPECT_EQ(event(R"({"x":[1,{}],"payload":)" + p + R"(,"y":null,"category":"Action","z":"w"})"), kCallEvent) << p;
    EXPECT_EQ(event(R"(["Action",)" + p + "]"), kCallEvent) << p;
  }
  EXPECT_EQ(event(std::string(R"({"category":"Action","payload":{"a":1,"type":"ToolCall","b":2,"data":)") + kCall +
                  R"(,"c":3}})"),
            kCallEvent);
}

// The envelope reads its event in direct mode only: the category level is
// never buffered content.
TEST(TrajectoryEvent, ObjectFormErrors) {
  const std::string unknown_action = std::string("unknown variant `action`, expected ") + kCategories;
  const JsonCase cases[] = {
      {R"({})", "missing field `category`"},
      {R"({"category":"Action"})", "missing field `payload`"},
      {R"({"payload":{"type":"ToolCall"}})", "missing field `category`"},
      {R"({"category":"action","payload":{}})", unknown_action.c_str()},
      {R"({"payload":5,"category":"action"})", unknown_action.c_str()},
      {R"({"category":{"action":1},"payload":{}})", unknown_action.c_str()},
      {R"({"category":{"Action":{}},"payload":{}})", "invalid type: map, expected unit"},
      {R"({"category":{},"payload":{}})", "invalid value: map, expected map with a single key"},
      {R"({"category":{"Action":null,"State":null},"payload":{}})", "invalid value: map, expected map with a single key"},
      {R"({"category":3,"payload":{}})", "invalid type: integer `3`, expected string or map"},
      {R"({"category":"Control","payload":{"type":"Completed"}})", "missing field `data`"},
      {R"({"category":"Control","payload":{"type":"Completed","data":null}})",
       "invalid type: null, expected struct Completed"},
      {R"({"category":"Control","payload":{"type":"Completed","data":{}}})",
       R"({"category":"Control","payload":{"type":"Completed","data":{"summary":null}}})"},
      {R"({"category":"State","payload":{"type":"Snapshots","data":{}}})",
       "unknown variant `Snapshots`, expected `Snapshot`"},
      {R"({"category":"Action","payload":"ToolCall"})",
       R"(invalid type: string "ToolCall", expected adjacently tagged enum Action)"},
      {R"({"category":"Observation","payload":null})", "invalid type: null, expected adjacently tagged enum Observation"},
      {R"({"category":"Control","payload":true})", "invalid type: boolean `true`, expected adjacently tagged enum Control"},
      {R"({"category":"State","payload":1.5})", "invalid type: floating point `1.5`, expected adjacently tagged enum State"},
      // The tag is judged before the content, whichever comes first.
      {R"({"category":"Action","payload":{"data":5,"type":"Bogus"}})",
       "unknown variant `Bogus`, expected one of `ToolCall`, `ShellCommand`, `WebFetch`, `FileOperation`"},
  };
  for (const JsonCase& c : cases) EXPECT_EQ(event(c.input), c.direct) << c.input;
}

TEST(TrajectoryEvent, ArrayForm) {
  const std::string ctx = std::string("adjacently tagged enum TrajectoryEvent");
  const std::string call_payload = std::string(R"({"type":"ToolCall","data":)") + kCall + "}";
  EXPECT_EQ(event("[]"), "invalid length 0, expected " + ctx);
  EXPECT_EQ(event(R"(["Action"])"), "invalid length 1, expected " + ctx);
  EXPECT_EQ(event(R"(["Act"])"), std::string("unknown variant `Act`, expected ") + kCategories);
  EXPECT_EQ(event(R"(["Action",)" + call_payload + ",1]"), "invalid length 3, expected fewer elements in array");
  EXPECT_EQ(event(R"([1,)" + call_payload + "]"), "invalid type: integer `1`, expected variant identifier");
  EXPECT_EQ(event(R"(["Action",["ToolCall",)" + std::string(kCall) + "]]"), kCallEvent);
  for (const char* scalar : {R"("Action")", "3", "true", "null"})
    EXPECT_EQ(event(scalar), std::string("invalid type: ") +
                                 json::errors::describe(value_of(scalar)) + ", expected " + ctx)
        << scalar;
}

TEST(TrajectoryEvent, BufferedPayloadOnlyWhenPayloadComesFirst) {
  struct Case {
    const char* payload;
    const char* payload_first;   // {"payload": P, "category": "Action"}
    const char* category_first;  // {"category": "Action", "payload": P}
  };
  const std::string call = kCallEvent;
  const Case cases[] = {
      {R"({"type":{"ToolCall":{}},"data":{"call_id":"c","tool":"t","arguments":{"b":1,"a":null}}})", kCallEvent,
       "invalid type: map, expected unit"},
      {R"([0,{"call_id":"c","tool":"t","arguments":{"b":1,"a":null}}])", kCallEvent,
       "invalid type: integer `0`, expected variant identifier"},
      {R"([4,{}])", "invalid value: integer `4`, expected variant index 0 <= i < 4",
       "invalid type: integer `4`, expected variant identifier"},
      {R"([-1,{}])", "invalid type: integer `-1`, expected variant identifier",
       "invalid type: integer `-1`, expected variant identifier"},
      {R"([0.0,{}])", "invalid type: floating point `0.0`, expected variant identifier",
       "invalid type: floating point `0.0`, expected variant identifier"},
      {R"(["ToolCall",{"call_id":"c","tool":"t","arguments":{}},1])", "invalid length 3, expected 2 elements in sequence",
       "invalid length 3, expected fewer elements in array"},
      // Buffered record data: the surplus text and the enum tolerance change.
      {R"({"type":"FileOperation","data":["c","Read","p",null,null,1]})",
       "invalid length 6, expected 5 elements in sequence", "invalid length 6, expected fewer elements in array"},
      {R"({"type":"FileOperation","data":{"call_id":"c","operation":{"Read":{}},"path":"p"}})",
       R"({"category":"Action","payload":{"type":"FileOperation","data":{"call_id":"c","operation":"Read","path":"p"}}})",
       "invalid type: map, expected unit"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(event(std::string(R"({"payload":)") + c.payload + R"(,"category":"Action"})"), c.payload_first)
        << c.payload;
    EXPECT_EQ(event(std::string(R"({"category":"Action","payload":)") + c.payload + "}"), c.category_first)
        << c.payload;
  }
  // Data before its type is buffered even with the category first.
  EXPECT_EQ(event(R"({"category":"Control","payload":{"data":["a","b"],"type":"Failed"}})"),
            "invalid length 2, expected 1 element in sequence");
  EXPECT_EQ(event(R"({"category":"Control","payload":{"type":"Failed","data":["a","b"]}})"),
            "invalid length 2, expected fewer elements in array");
  EXPECT_EQ(event(R"({"category":"State","payload":{"data":["s",null,[],null,{},0],"type":"Snapshot"}})"),
            "invalid length 6, expected 5 elements in sequence");
  EXPECT_EQ(event(R"({"payload":[1,{}],"category":"State"})"),
            "invalid value: integer `1`, expected variant index 0 <= i < 1");
  EXPECT_EQ(event(R"({"payload":[8,{}],"category":"Control"})"),
            "invalid value: integer `8`, expected variant index 0 <= i < 8");
  EXPECT_EQ(event(R"({"payload":[6,["Allow"]],"category":"Control"})"),
            "invalid length 2, expected struct Adjudicated with 7 elements");
  EXPECT_EQ(event(R"({"payload":[6,{"decision":{"Deny":{}}}],"category":"Control"})"),
            R"({"category":"Control","payload":{"type":"Adjudicated","data":{"decision":"Deny","mode":"monitor"}}})");
  EXPECT_EQ(event(R"({"category":"Control","payload":["Adjudicated",{"decision":{"Deny":{}}}]})"),
            "invalid type: map, expected unit");
  EXPECT_EQ(event(R"({"payload":{"data":[{"id":"a","provider":"p","platform":"x","card":{"ReActAgentCard":{}}},null,1],)"
                  R"("type":"Started"},"category":"Control"})"),
            "invalid length 3, expected 2 elements in sequence");
}

TEST(TrajectoryEvent, FailedAndSuspendedDifferOnlyInType) {
  const TrajectoryEvent failed{std::in_place_type<Control>, Failed{"r"}};
  const TrajectoryEvent suspended{std::in_place_type<Control>, Suspended{"r"}};
  const std::string f = json::write(json::encode(failed));
  const std::string s = json::write(json::encode(suspended));
  EXPECT_EQ(f, R"({"category":"Control","payload":{"type":"Failed","data":{"reason":"r"}}})");
  EXPECT_EQ(s, R"({"category":"Control","payload":{"type":"Suspended","data":{"reason":"r"}}})");
  EXPECT_EQ(*json::decode<TrajectoryEvent>(value_of(f)), failed);
  EXPECT_EQ(*json::decode<TrajectoryEvent>(value_of(s)), suspended);
  EXPECT_NE(failed, suspended);
}

TEST(TrajectoryEvent, EveryVariantRoundTripsWithItsNames) {
  struct Case {
    TrajectoryEvent event;
    const char* category;
    const char* type;
  };
  Snapshot snapshot{"s", "/w", {"a"}, std::nullopt, {{"k", json::Value(1)}}};
  const agent::Agent agent = *json::decode<agent::Agent>(value_of(
      R"({"id":"a","provider":"p","platform":"x","card":{"ReActAgentCard":{"model":"m"}}})"));
  const Case cases[] = {
      {Action{ToolCall{"c", "t", json::Value()}}, "action", "tool_call"},
      {Action{ShellCommand{"c", "ls", "/"}}, "action", "shell_command"},
      {Action{WebFetch{"c", "u", "p"}}, "action", "web_fetch"},
      {Action{FileOperation{"c", FileOpType::Delete, "p", std::nullopt, "o"}}, "action", "file_operation"},
      {Observation{Prompt{"hi", PromptRole::System}}, "observation", "prompt"},
      {Observation{Thought{"t"}}, "observation", "thought"},
      {Observation{ToolOutput{"c", true, json::Value("x"), std::nullopt}}, "observation", "tool_output"},
      {Observation{ShellCommandOutput{"c", -1, "o", "e"}}, "observation", "shell_command_output"},
      {Observation{WebFetchOutput{"c", "u", 200, "r"}}, "observation", "web_fetch_output"},
      {Observation{FileOperationResult{"c", false, std::nullopt, "e"}}, "observation", "file_operation_result"},
      {Control{Started{agent, "task"}}, "control", "started"},
      {Control{Completed{"done"}}, "control", "completed"},
      {Control{Failed{"r"}}, "control", "failed"},
      {Control{Terminated{"r", "u"}}, "control", "terminated"},
      {Control{Suspended{"r"}}, "control", "suspended"},
      {Control{Resumed{"u"}}, "control", "resumed"},
      {Control{*json::decode<result::Adjudicated>(value_of(R"({"decision":"Escalate","reason":"r"})"))}, "control",
       "adjudicated"},
      {Control{*json::decode<result::Scanned>(value_of(
           R"({"scan_type":"Message","data":{"source_event_id":"e","result":{"explanation":"x","message_type":"reasoning",)"
           R"("intent":"plan","description":"d","is_side_effecting":false,"confidence":0.5}}})"))},
       "control", "scanned"},
      {State{snapshot}, "state", "snapshot"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(event_category_name(c.event), c.category);
    EXPECT_EQ(event_type_name(c.event), c.type);
    const json::Value written = json::encode(c.event);
    for (bool swap : {false, true}) {
      json::Value in = written;
      if (swap) {
        // Payload before category, data before type: all read as buffered content.
        auto members = std::move(in).take_object().take_members();
        auto inner = std::move(members[1].value).take_object().take_members();
        std::swap(inner[0], inner[1]);
        members[1].value = json::Value(json::Object::from_unique(std::move(inner)));
        std::swap(members[0], members[1]);
        in = json::Value(json::Object::from_unique(std::move(members)));
      }
      auto back = json::decode<TrajectoryEvent>(std::move(in));
      ASSERT_TRUE(back) << back.error().to_string() << " " << c.type;
      EXPECT_EQ(*back, c.event) << c.type;
    }
  }
}

}  // namespace
}  // namespace revizer::event
