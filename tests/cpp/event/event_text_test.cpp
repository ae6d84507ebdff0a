// Event text straight into the record, against the general reading (parse,
// normalise, decode): where the straight reading is taken it must give the
// general reading's record; everywhere else it must step aside.
#include "model/event/event_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "model/event/envelope_decoding.h"
#include "model/event/event_record.h"
#include "model/json/reader.h"

namespace revizer::event {
namespace {

// A tool call from an agent with a coding-agent card, with a bit of
// everything: maps, lists of records, optional fields, JSON-valued
// arguments, escapes and non-ASCII text.
constexpr std::string_view kCard =
    R"({"metadata":{"schema_version":"1.2","hook_version":"h"},"model":"m","workspace_root":"/w",)"
    R"("execution_mode":"acceptEdits","system_instruction":"Be \"careful\"\n\u00e9\ud83d\ude00",)"
    R"("capabilities":{"tools":[{"name":"Read","description":"d","parameters":[{"name":"path",)"
    R"("description":"p","type":"string"}]}],"hook_commands":["PreToolUse"],"slash_commands":[],"named_agents":[],"skills":["python"]},)"
    R"("assets":[{"scope":"project","kind":"instructions","name":"AGENTS.md","path":"/w/AGENTS.md",)"
    R"("content_sha256":"9f"}],"settings":[{"scope":"user","path":"/s.json","content_sha256":"1a",)"
    R"j("allow_permissions":["Read(**)"],"deny_permissions":[],"hook_commands":[]}],)j"
    R"("normalized_context":{"codex.permission_mode":"acceptEdits","tavimor.initial_label":"fix"}})";

constexpr std::string_view kMcpServers =
    R"("hook_commands":[],"mcp_servers":{"docs":{"type":"stdio","command":"docs-mcp","args":["--root"],)"
    R"("env":{"LOG":"warn"}},"web":{"type":"streamable-http","url":"https://x","headers":{"A":"b"},"timeout":5,)"
    R"("alwaysLoad":true},"ws":{"type":"ws","url":"wss://y"}}}])";

constexpr const char* kAdjudicated =
R"({"decision":"Deny","mode":"steer","reason":"r","metadata":[{"policy_id":"p","description":"d","escal)"
               R"(ate":true,"escalate_arg":"a","metadata":{"k":"v","j":"w"}}],"guardrails":{"signature":{"triggered":t)"
               R"(rue,"severity":"high","categories":["c"],"matches":[{"rule":"r","namespace":"n","metadata":{"a":"b"})"
               R"(}]},"ifc":{"label":"l","fallback_reason":"f","available":false,"explanation":"e"},"semantic":{"categ)"
               R"(ories":["x"],"available":true,"findings":[{"rubric_id":"r","category":"c","explanation":"e"}],"unava)"
               R"(ilable_rubrics":["u"]}},"steering":{"instructions":["i"],"explanation":"e"},"policy_sources":[{"name)"
               R"(":"s","version":-3,"revision":"r","digest":"d","labels":{"b":"1","a":"2"},"policies":[{"name":"p","l)"
               R"(abels":{"x":"y"}}]}]})";

std::string agent() {
  return std::string(R"({"id":"agent-7","provider":"anthropic","platform":"claude-code","card":{"CodingAgentCard":)") +
         std::string(kCard) + "}}";
}

constexpr std::string_view kToolCall =
    R"({"category":"Action","payload":{"type":"ToolCall","data":{"call_id":"call-1","tool":"Bash",)"
    R"("arguments":{"command":"pytest -q","env":{"CI":"1"},"options":{"timeout_ms":120000,"retries":-2,)"
    R"("ratio":0.75,"big":18446744073709551615,"tiny":-9223372036854775808,"exp":1.5e-7,"zero":-0,"dry_run":false,)"
    R"("paths":["a","b"],"matrix":[{"python":"3.14","db":null}]}}}}})";

// The envelope with `event` as its payload and `tail` appended inside.
std::string envelope(std::string_view event = kToolCall, std::string_view tail = "") {
  std::string out = R"({"event_id":"evt-1","trajectory_id":"traj-1","agent":)" + agent();
  out += R"(,"timestamp":"2025-03-01T12:00:00.250Z","event":)";
  out += event;
  out += R"(,"actor":{"id":"agent-7","actor_type":"Agent"},)";
  out += R"("causality":{"correlation_id":"corr-1","causation_id":"evt-0","parent_id":null},)";
  out += R"("provider_call_id":"toolu_01","execution":{"agent_name":"reviewer","agent_path":["main","reviewer"]})";
  out += tail;
  out += "}";
  return out;
}

// The general reading's record, or its error text.
struct General {
  std::optional<Event> event;
  std::string error;
};

General read_generally(std::string_view text) {
  auto value = json::parse(text);
  if (!value) return {std::nullopt, value.error().to_string()};
  auto event = decode_event_envelope(std::move(*value));
  if (!event) return {std::nullopt, event.error().to_string()};
  return {std::move(*event), ""};
}

// Whether the straight reading was taken; when it was, its record must be
// the general reading's.
bool taken(std::string_view text) {
  Event fast;
  if (!read_event_text(text, fast)) return false;
  const General general = read_generally(text);
  EXPECT_TRUE(general.event.has_value()) << general.error << "\n" << text;
  if (general.event) {
    EXPECT_TRUE(fast == *general.event) << text;
  }
  return true;
}

std::string replaced(std::string text, std::string_view from, std::string_view to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(EventText, PlainEnvelopesGoStraightToTheRecord) {
  const std::string cases[] = {
      envelope(),
      // Whitespace everywhere, keys in another order, unknown keys of any kind.
      " \n" + replaced(envelope(), R"({"event_id":"evt-1",)", R"({ "x" : [1, {"y": null}, "\u0041"] , "event_id" : "evt-1" ,)") + "\t",
      replaced(envelope(), R"("event_id":"evt-1","trajectory_id":"traj-1")", R"("trajectory_id":"traj-1","event_id":"e")"),
      envelope(kToolCall, R"(,"unknown":{"deep":[[[true]]]},"unknown":2)"),  // unknown keys may repeat
      // Escaped keys name the same fields.
      replaced(envelope(), R"("event_id")", R"("\u0065vent_id")"),
      // A repeated key inside a JSON value keeps its first place and last value.
      replaced(envelope(), R"("command":"pytest -q")", R"("command":"a","command":"pytest -q")"),
      // ... and inside a map, its last value.
      replaced(envelope(), R"({"codex.permission_mode":"acceptEdits")", R"({"codex.permission_mode":"y","codex.permission_mode":"x")"),
      envelope(R"({"category":"Observation","payload":{"type":"Thought","data":{"thought":"t"}}})"),
      envelope(R"({"category":"Control","payload":{"type":"Completed","data":{}}})"),
      envelope(R"({"category":"State","payload":{"type":"Snapshot","data":{"snapshot_id":"s","working_dir":null,"open_files":[],)"
               R"("git_branch":"main","variables":{"a":[1]}}}})"),
      replaced(envelope(), R"("provider_call_id":"toolu_01")", R"("provider_call_id":null)"),
      // Hash-ordered maps and nested unions of a control payload.
      envelope(std::string(R"({"category":"Control","payload":{"type":"Adjudicated","data":)") + kAdjudicated + "}}"),
      // Internally tagged MCP servers with their tag first, aliases included.
      replaced(envelope(), R"("hook_commands":[]}])", kMcpServers),
  };
  for (const std::string& text : cases) EXPECT_TRUE(taken(text)) << text;
}

TEST(EventText, StepsAsideWhereTheGeneralReadingDiffers) {
  // Each is read by the general reading, differently or with normalisation.
  const std::string cases[] = {
      // A known key twice: the tree keeps the last value at the first place.
      envelope(kToolCall, R"(,"event_id":"evt-2")"),
      replaced(envelope(), R"("actor_type":"Agent")", R"("actor_type":"Human","actor_type":"Agent")"),
      replaced(envelope(), R"("type":"ToolCall",)", R"("type":"ToolCall","type":"ToolCall",)"),
      // Content before its tag is held content.
      envelope(R"({"payload":{"type":"Thought","data":{"thought":"t"}},"category":"Observation"})"),
      envelope(R"({"category":"Observation","payload":{"data":{"thought":"t"},"type":"Thought"}})"),
      // Normalisation carries "raw" into the card.
      envelope(kToolCall, R"(,"raw":{"cwd":"/elsewhere","permission_mode":"plan"})"),
      envelope(kToolCall, R"(,"raw":null)"),
      // Enumerations and tags as one-entry objects, records and unions as arrays.
      replaced(envelope(), R"("actor_type":"Agent")", R"("actor_type":{"Agent":null})"),
      replaced(envelope(), R"({"category":"Action",)", R"({"category":{"Action":null},)"),
      replaced(envelope(), R"({"id":"agent-7","actor_type":"Agent"})", R"(["agent-7","Agent"])"),
      envelope(R"(["Observation",["Thought",{"thought":"t"}]])"),
      // An internally tagged union's fields before its tag are held content.
      replaced(envelope(), R"("hook_commands":[]}])", R"("hook_commands":[],"mcp_servers":{"d":{"command":"c","type":"stdio"}}}])"),
      replaced(envelope(), R"("hook_commands":[]}])", R"("hook_commands":[],"mcp_servers":{"d":{"type":"stdio","command":"c","type":"stdio"}}}])"),
      replaced(envelope(), R"("hook_commands":[]}])", R"("hook_commands":[],"mcp_servers":{"d":["stdio","c"]}}])"),
  };
  for (const std::string& text : cases) {
    EXPECT_FALSE(taken(text)) << text;
    const General general = read_generally(text);
    ASSERT_TRUE(general.event.has_value()) << general.error << "\n" << text;
    // The whole reading of text falls back to the general one.
    Event event;
    EXPECT_TRUE(read_event_envelope(text, event) && event == *general.event) << text;
  }
  // The repeated key's last value wins on the general reading.
  EXPECT_EQ(read_generally(envelope(kToolCall, R"(,"event_id":"evt-2")")).event->event_id, "evt-2");
}

TEST(EventText, FailuresAreLeftToTheGeneralReading) {
  struct Case {
    std::string text;
    std::string error;  // the general reading's
  };
  const std::string ok = envelope();
  const Case cases[] = {
      {ok + "x", "trailing characters at line 1 column " + std::to_string(ok.size() + 1)},
      {ok.substr(0, ok.size() - 1), "EOF while parsing an object at line 1 column " + std::to_string(ok.size() - 1)},
      // Errors in what is skipped or kept as a JSON value.
      {envelope(kToolCall, R"(,"skipped":[1,])"), ""},
      {envelope(kToolCall, R"(,"skipped":"\x")"), ""},
      {envelope(kToolCall, R"(,"skipped":"\ud800")"), ""},
      {envelope(kToolCall, R"(,"skipped":"\udc00")"), ""},
      {envelope(kToolCall, ",\"skipped\":\"\xff\""), ""},
      {envelope(kToolCall, ",\"skipped\":\"\x01\""), ""},
      {envelope(kToolCall, R"(,"skipped":01)"), ""},
      {envelope(kToolCall, R"(,"skipped":1e999)"), ""},
      {envelope(kToolCall, R"(,"skipped":nul)"), ""},
      {replaced(ok, R"("command":"pytest -q")", R"("command":-)"), ""},
      {replaced(ok, R"("event_id":"evt-1")", R"("event_id":"\ud83d")"), ""},
      {replaced(ok, R"("event_id":"evt-1")", "\"event_id\":\"\xc3\x28\""), ""},
      {replaced(ok, R"("trajectory_id":"traj-1")", R"("trajectory_id" "traj-1")"), ""},
      // Decoding errors.
      {replaced(ok, R"("event_id":"evt-1")", R"("event_id":5)"), "invalid type: integer `5`, expected a string"},
      {replaced(ok, R"("event_id":"evt-1",)", ""), "missing field `event_id`"},
      {replaced(ok, R"("actor_type":"Agent")", R"("actor_type":"agent")"),
       "unknown variant `agent`, expected one of `Human`, `Agent`, `System`, `Policy`"},
      {replaced(ok, R"("timestamp":"2025-03-01T12:00:00.250Z")", R"("timestamp":"2025-13-01T12:00:00Z")"),
       "input is out of range"},
      {envelope(R"({"category":"Control","payload":{"type":"Completed"}})"), "missing field `data`"},
      {envelope(R"({"category":"Control","payload":{"type":"Completed","data":null}})"),
       "invalid type: null, expected struct Completed"},
      {envelope(R"({"category":"Observation","payload":{"type":"ShellCommandOutput","data":{"call_id":"c",)"
                R"("exit_code":1.0,"stdout":"","stderr":""}}})"),
       "invalid type: floating point `1.0`, expected i32"},
      {"[]", "E_UNNORMALIZED_TRAJECTORY_EVENT: event payload must be a normalized trajectory event envelope. "
             "Upgrade the Tavimor revizer client and map provider hook data into typed event fields. payload must "
             "be a JSON object event envelope."},
      {"", "EOF while parsing a value at line 1 column 0"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(taken(c.text)) << c.text;
    const General general = read_generally(c.text);
    EXPECT_FALSE(general.event.has_value()) << c.text;
    if (!c.error.empty()) {
      EXPECT_EQ(general.error, c.error) << c.text;
    }
    // The whole reading of text fails the same way; only the normaliser's
    // refusal is told apart, as it takes no caller's words in front.
    Event event;
    auto read = read_event_envelope(c.text, event);
    ASSERT_FALSE(read) << c.text;
    EXPECT_EQ(read.error().to_string(), general.error) << c.text;
    EXPECT_EQ(read.error().is_refusal(), c.text == "[]") << c.text;
  }
}

TEST(EventText, NestingLimitHoldsOnBothReadings) {
  // The envelope, "event", "payload" and "data" take four levels.
  const auto nested = [](int levels) {
    const std::string arguments = std::string(static_cast<std::size_t>(levels), '[') + std::string(static_cast<std::size_t>(levels), ']');
    return envelope(R"({"category":"Action","payload":{"type":"ToolCall","data":{"call_id":"c","tool":"t","arguments":)" +
                    arguments + "}}}");
  };
  EXPECT_TRUE(taken(nested(123)));
  EXPECT_FALSE(taken(nested(124)));
  EXPECT_EQ(read_generally(nested(124)).error.substr(0, 24), "recursion limit exceeded");
  // Levels the walk enters itself count the same: a skipped value at the top.
  const auto skipped = [](int levels) {
    return envelope(kToolCall, ",\"s\":" + std::string(static_cast<std::size_t>(levels), '[') +
                                   std::string(static_cast<std::size_t>(levels), ']'));
  };
  EXPECT_TRUE(taken(skipped(126)));
  EXPECT_FALSE(taken(skipped(127)));
}

}  // namespace
}  // namespace revizer::event
