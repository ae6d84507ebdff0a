// The event envelope in both directions.
#include "model/event/event_record.h"

#include "model/event/envelope_normalization.h"
#include "model/json/record_text.h"

#include "tests/cpp/json/json_cases.h"

namespace revizer::event {
namespace {

using testing::value_of;

constexpr const char* kAgent = R"({"id":"a1","provider":"p","platform":"x","card":{"ReActAgentCard":{}}})";
constexpr const char* kPayload = R"({"category":"Observation","payload":{"type":"Thought","data":{"thought":"t"}}})";
constexpr const char* kActor = R"({"id":"a1","actor_type":"Agent"})";
constexpr const char* kCausality = R"({"correlation_id":"c","causation_id":null,"parent_id":null})";

// An envelope text with the given timestamp text and trailing entries.
std::string envelope(std::string_view timestamp = "\"2025-03-04T05:06:07Z\"", std::string_view tail = "") {
  std::string out = R"({"event_id":"e1","trajectory_id":"t1","agent":)";
  out.append(kAgent).append(R"(,"timestamp":)").append(timestamp).append(R"(,"event":)").append(kPayload);
  out.append(R"(,"actor":)").append(kActor).append(R"(,"causality":)").append(kCausality).append(tail).append("}");
  return out;
}

std::string round_trip(std::string_view text) { return testing::round_trip<Event>(text); }

TEST(EventEnvelope, WritesSevenKeysOrNineInOrder) {
  EXPECT_EQ(round_trip(envelope()), envelope());
  const std::string both = envelope("\"2025-03-04T05:06:07Z\"", R"(,"provider_call_id":"","execution":{"agent_name":"n"})");
  EXPECT_EQ(round_trip(both), both);
  auto e = json::decode<Event>(value_of(both));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->provider_call_id, std::optional<std::string>(""));
  EXPECT_TRUE(e->execution->agent_path.empty());
  const json::Value written = json::encode(*e);
  std::vector<std::string> keys;
  for (const json::Member& m : written.as_object()) keys.push_back(m.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"event_id", "trajectory_id", "agent", "timestamp", "event", "actor",
                                            "causality", "provider_call_id", "execution"}));
  // Null reads as absent and is not written.
  EXPECT_EQ(round_trip(envelope("\"2025-03-04T05:06:07Z\"", R"(,"provider_call_id":null,"execution":null)")),
            envelope());
}

TEST(EventEnvelope, KeysInAnyOrderAndUnknownKeysSkipped) {
  const std::string reordered = std::string(R"({"meta":{"x":[1]},"causality":)") + kCausality + R"(,"actor":)" +
                                kActor + R"(,"event":)" + kPayload + R"(,"timestamp":"2025-03-04 07:06:07+02:00")" +
                                R"(,"agent":)" + kAgent + R"(,"trajectory_id":"t1","event_id":"e1","raw":5})";
  EXPECT_EQ(round_trip(reordered), envelope());
}

TEST(EventEnvelope, ReadingErrors) {
  struct Case {
    std::string input;
    const char* error;
  };
  const Case cases[] = {
      {"{}", "missing field `event_id`"},
      // A bad value is reported before a missing key, in input order.
      {R"({"event_id":5})", "invalid type: integer `5`, expected a string"},
      {R"({"trajectory_id":"t","actor":{"id":"a","actor_type":"human"}})",
       "unknown variant `human`, expected one of `Human`, `Agent`, `System`, `Policy`"},
      {R"({"event_id":"e","trajectory_id":"t"})", "missing field `agent`"},
      {envelope("5"), "invalid type: integer `5`, expected an RFC 3339 formatted date and time string"},
      {envelope("\"2025-03-04T05:06:07\""), "premature end of input"},
      {envelope("\"2025-03-04T05:06:07+02\""), "premature end of input"},
      {envelope("\"2025-03-04T05:06:07Zx\""), "trailing input"},
      {envelope("\"2025-13-04T05:06:07Z\""), "input is out of range"},
      {envelope("\"2025-03-04X05:06:07Z\""), "input contains invalid characters"},
      {envelope("\"2025-03-04T05:06:07Z\"", R"(,"provider_call_id":7)"), "invalid type: integer `7`, expected a string"},
      {envelope("\"2025-03-04T05:06:07Z\"", R"(,"execution":"n")"),
       R"(invalid type: string "n", expected struct ExecutionAttribution)"},
      {envelope("\"2025-03-04T05:06:07Z\"", R"(,"execution":{"agent_name":"n","agent_path":null})"),
       "invalid type: null, expected a sequence"},
      {R"({"event_id":"e","trajectory_id":"t","agent":{"id":"a"}})", "missing field `provider`"},
      {R"({"event_id":"e","trajectory_id":"t","event":[]})",
       "invalid length 0, expected adjacently tagged enum TrajectoryEvent"},
      {R"({"actor":["u"]})", "invalid length 1, expected struct Actor with 2 elements"},
      {"[]", "invalid length 0, expected struct Event with 9 elements"},
      {"null", "invalid type: null, expected struct Event"},
  };
  for (const Case& c : cases) EXPECT_EQ(round_trip(c.input), c.error) << c.input;
}

TEST(EventEnvelope, TimestampsWriteBackInTheirCanonicalForm) {
  struct Case {
    const char* read;
    const char* written;
  };
  const Case cases[] = {
      {"2025-03-04T05:06:07Z", "2025-03-04T05:06:07Z"},
      {"2025-03-04T05:06:07.12Z", "2025-03-04T05:06:07.120Z"},
      {"2025-03-04T05:06:07.000123Z", "2025-03-04T05:06:07.000123Z"},
      {"2025-03-04T05:06:07.000000001Z", "2025-03-04T05:06:07.000000001Z"},
      {"2025-03-04T05:06:07.123456789999Z", "2025-03-04T05:06:07.123456789Z"},
      {"2025-03-04 07:06:07+02:00", "2025-03-04T05:06:07Z"},
      {"2025-03-04t05:06:07 utc ", "2025-03-04T05:06:07Z"},
      {"2016-12-31T23:59:60.5Z", "2016-12-31T23:59:60.500Z"},
      {"+10000-01-01T00:00:00Z", "+10000-01-01T00:00:00Z"},
      {"-0001-01-01T00:00:00Z", "-0001-01-01T00:00:00Z"},
  };
  for (const Case& c : cases) {
    const std::string in = std::string("\"") + c.read + "\"";
    const std::string out = std::string("\"") + c.written + "\"";
    EXPECT_EQ(round_trip(envelope(in)), envelope(out)) << c.read;
    // And what was written reads back to the same instant.
    auto first = json::decode<Event>(value_of(envelope(in)));
    auto second = json::decode<Event>(value_of(envelope(out)));
    ASSERT_TRUE(first && second) << c.read;
    EXPECT_EQ(first->timestamp, second->timestamp) << c.read;
  }
}

TEST(EventEnvelope, EveryPayloadKindRoundTrips) {
  const char* payloads[] = {
      R"({"category":"Action","payload":{"type":"ToolCall","data":{"call_id":"c","tool":"t","arguments":{"q":[1,2.5,null]}}}})",
      R"({"category":"Action","payload":{"type":"FileOperation","data":{"call_id":"c","operation":"Edit","path":"p","content":"n","old_content":"o"}}})",
      R"({"category":"Observation","payload":{"type":"ToolOutput","data":{"call_id":"c","success":false,"output":null,"error":"e"}}})",
      R"({"category":"Control","payload":{"type":"Started","data":{"agent":{"id":"b","provider":"p","platform":"x","card":{"ReActAgentCard":{}}},"task":null}}})",
      R"({"category":"Control","payload":{"type":"Adjudicated","data":{"decision":"Deny","mode":"govern","reason":"r"}}})",
      R"({"category":"State","payload":{"type":"Snapshot","data":{"snapshot_id":"s","working_dir":null,"open_files":[],"git_branch":"main","variables":{}}}})",
  };
  for (const char* payload : payloads) {
    std::string text = envelope();
    text.replace(text.find(kPayload), std::string_view(kPayload).size(), payload);
    EXPECT_EQ(round_trip(text), text);
    auto e = json::decode<Event>(value_of(text));
    ASSERT_TRUE(e) << payload;
    auto back = json::decode<Event>(json::encode(*e));
    ASSERT_TRUE(back) << payload;
    EXPECT_EQ(*back, *e);
    // The direct text writer agrees with writing the encoded value.
    std::string direct;
    json::write_text(*e, direct);
    EXPECT_EQ(direct, text);
  }
}

// What callers do with an envelope from a dict or JSON text: normalise, then
// decode.
std::string normalise_and_decode(std::string_view text) {
  json::Value v = value_of(text);
  if (auto st = normalize_event_envelope(v); !st) return st.error().to_string();
  auto e = json::decode<Event>(std::move(v));
  if (!e) return e.error().to_string();
  return json::write(json::encode(*e));
}

TEST(EventEnvelope, NormalisedBeforeDecoding) {
  const std::string card_without_root =
      R"({"metadata":{"schema_version":"1","hook_version":"2"},"execution_mode":"e",)"
      R"("capabilities":{"tools":[],"hook_commands":[],"slash_commands":[],"named_agents":[],"skills":[]},)"
      R"("assets":[],"settings":[]})";
  std::string text = envelope();
  text.replace(text.find(kAgent), std::string_view(kAgent).size(),
               std::string(R"({"id":"a1","provider":"p","platform":"x","card":{"CodingAgentCard":)") +
                   card_without_root + "}}");
  EXPECT_EQ(normalise_and_decode(text), "missing field `workspace_root`");
  const std::string with_raw = text.substr(0, text.size() - 1) + R"(,"raw":{"cwd":"/repo","hook_event_name":" Stop "}})";
  const std::string decoded = normalise_and_decode(with_raw);
  EXPECT_NE(decoded.find(R"("workspace_root":"/repo")"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find(R"("normalized_context":{"codex.hook_event_name":"Stop"})"), std::string::npos) << decoded;
  EXPECT_EQ(decoded.find("raw"), std::string::npos) << decoded;

  EXPECT_EQ(normalise_and_decode(R"({"raw":{"cwd":"/w"}})"), "missing field `event_id`");
  // "raw" first: the last entry takes its place, so its error comes first.
  EXPECT_EQ(normalise_and_decode(R"({"raw":1,"event_id":7,"trajectory_id":8,"actor":"x"})"),
            R"(invalid type: string "x", expected struct Actor)");
  EXPECT_EQ(normalise_and_decode("[1,2]"),
            "E_UNNORMALIZED_TRAJECTORY_EVENT: event payload must be a normalized trajectory event envelope. Upgrade "
            "the Tavimor revizer client and map provider hook data into typed event fields. payload must be a JSON "
            "object event envelope.");
}

}  // namespace
}  // namespace revizer::event
