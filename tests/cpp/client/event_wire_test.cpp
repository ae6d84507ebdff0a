// Event envelopes as wire events: the typed header fields, the wire
// timestamp (a leap second keeps its nanos beyond one second) and the whole
// envelope's JSON form as the payload, asset contents included.
#include <gtest/gtest.h>

#include <string>

#include "model/event/event_record.h"
#include "model/json/reader.h"
#include "model/json/writer.h"
#include "revizer/client/adjudicates/event_adjudicates.h"

namespace revizer::client {
namespace {

constexpr const char* kShellEvent =
    R"({"event_id":"evt-9","trajectory_id":"traj-9","agent":{"id":"agent-7","provider":"anthropic",)"
    R"("platform":"claude_code","card":{"ReActAgentCard":{}}},"timestamp":"2016-12-31T23:59:60.500Z",)"
    R"("event":{"category":"Action","payload":{"type":"ShellCommand","data":{"call_id":"c1","command":"ls",)"
    R"("working_dir":null}}},"actor":{"id":"agent-7","actor_type":"Agent"},"causality":{"correlation_id":"corr-1",)"
    R"("causation_id":null,"parent_id":null}})";

event::Event decoded(const std::string& text) {
  auto value = json::parse(text);
  EXPECT_TRUE(value);
  auto event = json::decode<event::Event>(std::move(*value));
  EXPECT_TRUE(event) << event.error().to_string();
  return std::move(*event);
}

TEST(EventToWire, HeaderFieldsTimestampAndEnvelope) {
  const event::Event event = decoded(kShellEvent);
  const wire::WireEvent out = to_wire(event);
  EXPECT_EQ(out.event_id, "evt-9");
  EXPECT_EQ(out.trajectory_id, "traj-9");
  EXPECT_EQ(out.agent_id, "agent-7");
  EXPECT_EQ(out.event_type, "action");
  EXPECT_EQ(out.event_name, "shell_command");
  // Second 59 of the minute, plus one and a half billion nanoseconds.
  ASSERT_TRUE(out.timestamp);
  EXPECT_EQ(out.timestamp->seconds, 1'483'228'799);
  EXPECT_EQ(out.timestamp->nanos, 1'500'000'000);
  ASSERT_TRUE(out.payload);
  EXPECT_EQ(json::write(json::Value(*out.payload)), kShellEvent);
}

TEST(EventToWire, PayloadNamesOfEachCategory) {
  const struct {
    const char* event;
    const char* type;
    const char* name;
  } cases[] = {
      {R"({"category":"Observation","payload":{"type":"Thought","data":{"thought":"hm"}}})", "observation", "thought"},
      {R"({"category":"Control","payload":{"type":"Completed","data":{"summary":null}}})", "control", "completed"},
      {R"({"category":"Control","payload":{"type":"Adjudicated","data":{"decision":"Deny"}}})", "control",
       "adjudicated"},
      {R"({"category":"State","payload":{"type":"Snapshot","data":{"snapshot_id":"s","open_files":[],)"
       R"("variables":{}}}})",
       "state", "snapshot"},
  };
  for (const auto& c : cases) {
    std::string text = kShellEvent;
    const auto start = text.find(R"("event":)") + 8;
    const auto end = text.find(R"(,"actor")");
    text.replace(start, end - start, c.event);
    const wire::WireEvent out = to_wire(decoded(text));
    EXPECT_EQ(out.event_type, c.type) << c.event;
    EXPECT_EQ(out.event_name, c.name) << c.event;
  }
}

TEST(EventToWire, AssetContentTravels) {
  std::string text = kShellEvent;
  const std::string card =
      R"({"CodingAgentCard":{"metadata":{"schema_version":"1","hook_version":"1"},"workspace_root":"/w",)"
      R"("execution_mode":"default","capabilities":{"tools":[],"hook_commands":[],"slash_commands":[],)"
      R"("named_agents":[],"skills":[]},"assets":[{"scope":"project","kind":"memory","name":"CLAUDE.md",)"
      R"("path":"/w/CLAUDE.md","content_sha256":"abc","content_media_type":"text/markdown",)"
      R"("content":"# Rules","content_size_bytes":7,"content_truncated":false}],"settings":[]}})";
  text.replace(text.find(R"({"ReActAgentCard":{}})"), 21, card);
  const wire::WireEvent out = to_wire(decoded(text));
  const std::string payload = json::write(json::Value(*out.payload));
  EXPECT_NE(payload.find(R"("content":"# Rules")"), std::string::npos) << payload;
  EXPECT_NE(payload.find(R"("content_size_bytes":7)"), std::string::npos) << payload;
}

TEST(EventToWire, CollectKeepsOrderAndCount) {
  std::vector<event::Event> events{decoded(kShellEvent), decoded(kShellEvent)};
  events[1].event_id = "evt-10";
  const auto out = collect_wire_events(std::move(events));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].event_id, "evt-9");
  EXPECT_EQ(out[1].event_id, "evt-10");
  EXPECT_TRUE(collect_wire_events({}).empty());
}

}  // namespace
}  // namespace revizer::client
