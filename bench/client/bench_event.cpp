#include "bench/client/bench_event.h"

#include <google/protobuf/util/json_util.h>

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "model/json/reader.h"

namespace revizer::bench {
namespace {

// "@" marks where the event's index goes.
constexpr std::string_view kTemplate = R"json({
  "event_id": "evt-bench-@",
  "trajectory_id": "traj-bench",
  "agent": {
    "id": "agent-bench",
    "provider": "example-provider",
    "platform": "cli",
    "card": {"CodingAgentCard": {
      "metadata": {"schema_version": "1.0", "hook_version": "2.3.1"},
      "model": "model-large-2025",
      "workspace_root": "/home/dev/projects/service",
      "execution_mode": "default",
      "system_instruction": "You are a careful coding agent. Read before you write, keep changes small, run the tests.",
      "capabilities": {
        "tools": [
          {"name": "Bash", "description": "Runs a shell command in the workspace",
           "parameters": [{"name": "command", "description": "the command line", "type": "string"},
                          {"name": "timeout", "description": "seconds before it is stopped", "type": "integer"}]},
          {"name": "Edit", "description": "Replaces text in a file",
           "parameters": [{"name": "file_path", "description": "absolute path of the file", "type": "string"},
                          {"name": "old_string", "description": "the text to replace", "type": "string"},
                          {"name": "new_string", "description": "the text to put in its place", "type": "string"}]},
          {"name": "Read", "description": "Reads a file",
           "parameters": [{"name": "file_path", "description": "absolute path of the file", "type": "string"}]}
        ],
        "hook_commands": ["pre-tool-use", "post-tool-use", "session-start"],
        "slash_commands": ["/review", "/test", "/commit"],
        "named_agents": ["planner", "reviewer"],
        "skills": ["python", "sql"]
      },
      "assets": [],
      "settings": [],
      "normalized_context": {"git_branch": "main", "os": "linux", "shell": "bash"}
    }}
  },
  "timestamp": "2025-03-04T05:06:07.120Z",
  "event": {"category": "Action", "payload": {"type": "ToolCall", "data": {
    "call_id": "call-bench-@",
    "tool": "Edit",
    "arguments": {
      "file_path": "/home/dev/projects/service/src/handlers/orders.py",
      "edits": [
        {"old_string": "def total(order):\n    return sum(line.price for line in order.lines)",
         "new_string": "def total(order):\n    return sum(line.price * line.quantity for line in order.lines)",
         "replace_all": false},
        {"old_string": "TAX_RATE = 0.2", "new_string": "TAX_RATE = Decimal(\"0.2\")", "replace_all": true}
      ],
      "options": {"dry_run": false, "encoding": "utf-8", "retries": 3, "backup": {"enabled": true, "suffix": ".orig"}}
    }
  }}},
  "actor": {"id": "agent-bench", "actor_type": "Agent"},
  "causality": {"correlation_id": "corr-bench", "causation_id": null, "parent_id": null}
})json";

// The header fields, the same for both clients.
constexpr std::int64_t kSeconds = 1741064767;
constexpr std::int32_t kNanos = 120000000;

[[noreturn]] void broken_template() {
  // A bug in this file; measuring without the event is pointless.
  std::cerr << "bench_event_json is not valid JSON\n";
  std::abort();
}

}  // namespace

std::string bench_event_json(int index) {
  std::string json(kTemplate);
  const std::string number = std::to_string(index);
  for (std::size_t at = json.find('@'); at != std::string::npos; at = json.find('@', at + number.size())) {
    json.replace(at, 1, number);
  }
  return json;
}

tavimor::revizer::v1::Event grpc_bench_event(int index) {
  tavimor::revizer::v1::Event event;
  event.set_event_id("evt-bench-" + std::to_string(index));
  event.set_trajectory_id("traj-bench");
  event.set_agent_id("agent-bench");
  event.mutable_timestamp()->set_seconds(kSeconds);
  event.mutable_timestamp()->set_nanos(kNanos);
  event.set_event_type("action");
  event.set_event_name("tool_call");
  if (!google::protobuf::util::JsonStringToMessage(bench_event_json(index), event.mutable_payload()).ok()) {
    broken_template();
  }
  return event;
}

wire::WireEvent our_bench_event(int index) {
  wire::WireEvent event;
  event.event_id = "evt-bench-" + std::to_string(index);
  event.trajectory_id = "traj-bench";
  event.agent_id = "agent-bench";
  event.timestamp = wire::WireTimestamp{kSeconds, kNanos};
  event.event_type = "action";
  event.event_name = "tool_call";
  auto envelope = json::parse(bench_event_json(index));
  if (!envelope || !envelope->is_object()) broken_template();
  event.payload = std::move(envelope->as_object());
  return event;
}

}  // namespace revizer::bench
