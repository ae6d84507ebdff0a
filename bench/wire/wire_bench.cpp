// Encoding one realistic event (a ToolCall with nested arguments, made by a
// coding agent whose card travels along; about 2 KB of JSON) and decoding a
// 100-event answer, ours against libprotobuf in the same run.
//
// Outbound, ours starts from our JSON value (as the client holds it) and
// the peer from the same JSON text, which it turns into a Struct with
// JsonStringToMessage and serialises. Further rows separate the steps: ours
// from text too (reader included), and the peer serialising a Struct built
// beforehand.
// Inbound, ours decodes the answer straight into JSON values; the peer
// parses it and walks each payload Struct into the same JSON value (keys
// sorted, whole numbers as integers), or writes it as JSON text with its
// own writer.

#include <benchmark/benchmark.h>
#include <google/protobuf/arena.h>
#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>
#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/json/reader.h"
#include "schema/wire/adjudicates_request.h"
#include "schema/wire/adjudicates_response.h"
#include "tavimor/revizer/v1/revizer.pb.h"

namespace {

namespace pb = ::google::protobuf;
namespace v1 = ::tavimor::revizer::v1;
using revizer::wire::AdjudicatesRequest;
using revizer::wire::AdjudicatesResponse;
using revizer::wire::WireEvent;
using revizer::wire::WireTimestamp;

// The envelope of one step of a coding agent: it edits a file through its
// tool, with the arguments of that call and the agent's card.
const std::string kEvent = R"json({
 "event_id": "evt-5f0c7a52-8d3e-4c1b-9a47-2e6b1d9f3c88",
 "trajectory_id": "traj-0b9e2d71-4c5a-4f8e-b3d2-7a1c6e9f0d44",
 "agent": {"id": "agent-coder-1", "provider": "anthropic", "platform": "claude-code",
  "card": {"CodingAgentCard": {
   "metadata": {"schema_version": "1.2", "hook_version": "0.9.4"},
   "model": "claude-sonnet-4",
   "workspace_root": "/home/dev/projects/payments-service",
   "execution_mode": "default",
   "system_instruction": "You are a careful senior engineer. Prefer small, reviewed changes; never touch secrets.",
   "capabilities": {
    "tools": [
     {"name": "Edit", "description": "Replaces a span of text in a file",
      "parameters": [{"name": "file_path", "description": "absolute path of the file", "type": "string"},
                     {"name": "old_string", "description": "text to replace", "type": "string"},
                     {"name": "new_string", "description": "replacement text", "type": "string"}]},
     {"name": "Bash", "description": "Runs a shell command in the workspace",
      "parameters": [{"name": "command", "description": "the command line", "type": "string"},
                     {"name": "timeout", "description": "milliseconds before the command is stopped", "type": "integer"}]}],
    "hook_commands": ["revizer-hook pre-tool", "revizer-hook post-tool"],
    "slash_commands": ["/review", "/test"],
    "named_agents": ["planner", "reviewer"],
    "skills": ["python", "sql"]},
   "assets": [
    {"scope": "project", "kind": "instructions", "name": "CLAUDE.md", "path": "/home/dev/projects/payments-service/CLAUDE.md",
     "content_sha256": "9f2b5c0e8a1d4f7b3c6e2a9d8f1b4c7e0a3d6f9b2c5e8a1d4f7b0c3e6a9d2f5b"}],
   "settings": [
    {"scope": "user", "path": "/home/dev/.claude/settings.json",
     "content_sha256": "1c4f7a0d3b6e9c2f5a8d1b4e7c0f3a6d9b2e5c8f1a4d7b0e3c6f9a2d5b8e1c4f",
     "allow_permissions": ["Bash(npm test:*)", "Edit(src/**)"], "deny_permissions": ["Bash(rm -rf:*)"],
     "hook_commands": ["revizer-hook pre-tool"]}],
   "normalized_context": {"cwd": "/home/dev/projects/payments-service", "git_branch": "fix/rounding", "session_id": "sess-42"}}}},
 "timestamp": "2025-03-04T05:06:07.120Z",
 "event": {"category": "Action", "payload": {"type": "ToolCall", "data": {
  "call_id": "call-7d1e4b2a-9c3f-4e8d-a1b6-5f0c2e7d9a34",
  "tool": "Edit",
  "arguments": {"file_path": "/home/dev/projects/payments-service/src/ledger/rounding.py",
   "old_string": "return round(amount, 2)",
   "new_string": "return amount.quantize(Decimal(\"0.01\"), rounding=ROUND_HALF_EVEN)",
   "options": {"replace_all": false, "context_lines": 3, "confidence": 0.92,
    "checks": [{"kind": "lint", "enabled": true}, {"kind": "types", "enabled": true, "strict": null}]}}}}},
 "actor": {"id": "agent-coder-1", "actor_type": "Agent"},
 "causality": {"correlation_id": "corr-3a8f1c6e-2b9d-4e7a-8c5f-1d0b6e3a9c72", "causation_id": "evt-4e9b0c61-7d2a-4b8e-9f35-6c1a0d8e2b57", "parent_id": null},
 "provider_call_id": "toolu_01HXq8Zk3vN5bR2mT7wY4pLc"
})json";

// One answer event's payload: a denial with its policy, guardrails and
// steering, as the service writes an Adjudicated record.
const std::string kAnswer = R"json({"decision": "Deny", "mode": "govern",
 "reason": "Edits to ledger code need a reviewed change request",
 "metadata": [{"id": "pol-ledger-guard", "description": "Protect ledger rounding", "escalate": false,
               "escalate_arg": null, "map": {"owner": "payments", "severity": "high", "ticket": "PAY-1432"}}],
 "guardrails": {"signature": {"matched": true, "matches": [{"rule": "ledger-write", "score": 0.97}]},
                "ifc": {"violations": 0, "labels": ["internal", "financial"]}},
 "steering": {"instructions": ["Open a change request for the rounding fix", "Add a regression test first"],
              "explanation": "Financial code changes are reviewed before they land."},
 "policy_sources": [{"name": "payments", "version": "3.4.1", "labels": {"env": "prod"},
                     "policies": [{"name": "ledger-guard", "labels": {}}]}]})json";

constexpr int kAnswerEvents = 100;

revizer::json::Object our_payload() {
  auto parsed = revizer::json::parse(kEvent);
  if (!parsed) std::abort();
  return std::move(*parsed).take_object();
}

WireEvent our_event(revizer::json::Object payload) {
  return WireEvent{"evt-5f0c7a52-8d3e-4c1b-9a47-2e6b1d9f3c88", "traj-0b9e2d71-4c5a-4f8e-b3d2-7a1c6e9f0d44",
                   "agent-coder-1", WireTimestamp{1741064767, 120000000}, "action", "tool_call", std::move(payload)};
}

void set_headers(v1::Event& e) {
  e.set_event_id("evt-5f0c7a52-8d3e-4c1b-9a47-2e6b1d9f3c88");
  e.set_trajectory_id("traj-0b9e2d71-4c5a-4f8e-b3d2-7a1c6e9f0d44");
  e.set_agent_id("agent-coder-1");
  e.mutable_timestamp()->set_seconds(1741064767);
  e.mutable_timestamp()->set_nanos(120000000);
  e.set_event_type("action");
  e.set_event_name("tool_call");
}

void set_bytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// --- encoding one event ------------------------------------------------------

// Runs `encode` once per iteration; it returns the request's bytes.
template <class Encode>
void encode_event(benchmark::State& state, Encode encode) {
  for (auto _ : state) {
    std::string out = encode();
    if (out.empty()) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out);
  }
  set_bytes(state, kEvent.size());
}

std::string encode_ours(const AdjudicatesRequest& request) {
  std::string out;
  if (!request.encode(out)) out.clear();
  return out;
}

// The peer's request: the headers, then the payload from the JSON text.
bool build_reference(v1::AdjudicatesRequest& request) {
  v1::Event* e = request.add_events();
  set_headers(*e);
  return pb::util::JsonStringToMessage(kEvent, e->mutable_payload()).ok();
}

void EncodeOurs(benchmark::State& state) {
  AdjudicatesRequest request;
  request.events.push_back(our_event(our_payload()));
  encode_event(state, [&] { return encode_ours(request); });
}

void EncodeOursFromText(benchmark::State& state) {
  encode_event(state, [] {
    auto parsed = revizer::json::parse(kEvent);
    AdjudicatesRequest request;
    request.events.push_back(our_event(std::move(*parsed).take_object()));
    return encode_ours(request);
  });
}

void EncodeLibprotobufFromText(benchmark::State& state) {
  encode_event(state, [] {
    v1::AdjudicatesRequest request;
    return build_reference(request) ? request.SerializeAsString() : std::string();
  });
}

void EncodeLibprotobufPrebuilt(benchmark::State& state) {
  v1::AdjudicatesRequest request;
  if (!build_reference(request)) state.SkipWithError("json failed");
  encode_event(state, [&] { return request.SerializeAsString(); });
}

void EncodeLibprotobufPrebuiltSorted(benchmark::State& state) {
  // With keys in byte order, as ours writes them.
  v1::AdjudicatesRequest request;
  if (!build_reference(request)) state.SkipWithError("json failed");
  encode_event(state, [&] {
    std::string out;
    pb::io::StringOutputStream stream(&out);
    pb::io::CodedOutputStream coded(&stream);
    coded.SetSerializationDeterministic(true);
    request.SerializeToCodedStream(&coded);
    coded.Trim();
    return out;
  });
}

// --- decoding a 100-event answer ---------------------------------------------

const std::string& answer_bytes() {
  static const std::string bytes = [] {
    v1::AdjudicatesResponse response;
    pb::Struct payload;
    if (!pb::util::JsonStringToMessage(kAnswer, &payload).ok()) std::abort();
    for (int i = 0; i < kAnswerEvents; ++i) {
      v1::Event* e = response.add_events();
      set_headers(*e);
      e->set_event_id("evt-" + std::to_string(i));
      *e->mutable_payload() = payload;
    }
    return response.SerializeAsString();
  }();
  return bytes;
}

// Runs `decode` on the answer's bytes once per iteration.
template <class Decode>
void decode_answer(benchmark::State& state, Decode decode) {
  const std::string& bytes = answer_bytes();
  for (auto _ : state) {
    if (!decode(bytes)) state.SkipWithError("decode failed");
  }
  set_bytes(state, bytes.size());
}

void DecodeOurs(benchmark::State& state) {
  decode_answer(state, [](const std::string& bytes) {
    auto decoded = AdjudicatesResponse::decode(bytes);
    benchmark::DoNotOptimize(decoded);
    return decoded && decoded->events.size() == kAnswerEvents;
  });
}

// The peer's walk from a parsed Struct to the JSON value the client hands
// on: keys in byte order, whole numbers up to 2^63 as integers.
revizer::json::Value to_json(const pb::Value& v);

revizer::json::Object to_json(const pb::Struct& s) {
  std::vector<const pb::MapPair<std::string, pb::Value>*> entries;
  entries.reserve(s.fields().size());
  for (const auto& entry : s.fields()) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->first < b->first; });
  std::vector<revizer::json::Member> members;
  members.reserve(entries.size());
  for (const auto* entry : entries) members.emplace_back(entry->first, to_json(entry->second));
  return revizer::json::Object::from_unique(std::move(members));
}

revizer::json::Value to_json(const pb::Value& v) {
  switch (v.kind_case()) {
    case pb::Value::kNumberValue: {
      const double x = v.number_value();
      if (!std::isfinite(x)) return revizer::json::Value();
      if (x == std::trunc(x) && std::fabs(x) <= 9223372036854775808.0) {
        if (x >= 9223372036854775808.0) return revizer::json::Value(std::numeric_limits<std::int64_t>::max());
        return revizer::json::Value(static_cast<std::int64_t>(x));
      }
      return revizer::json::Value(x);
    }
    case pb::Value::kStringValue: return revizer::json::Value(v.string_value());
    case pb::Value::kBoolValue: return revizer::json::Value(v.bool_value());
    case pb::Value::kStructValue: return revizer::json::Value(to_json(v.struct_value()));
    case pb::Value::kListValue: {
      revizer::json::Array a;
      a.reserve(static_cast<std::size_t>(v.list_value().values_size()));
      for (const pb::Value& e : v.list_value().values()) a.push_back(to_json(e));
      return revizer::json::Value(std::move(a));
    }
    default: return revizer::json::Value();
  }
}

// The peer's parse, then each payload walked into our JSON value.
bool walk_payloads(const v1::AdjudicatesResponse& response) {
  std::vector<revizer::json::Object> payloads;
  payloads.reserve(static_cast<std::size_t>(response.events_size()));
  for (const v1::Event& e : response.events()) payloads.push_back(to_json(e.payload()));
  benchmark::DoNotOptimize(payloads);
  return true;
}

void DecodeLibprotobufWalk(benchmark::State& state) {
  decode_answer(state, [](const std::string& bytes) {
    v1::AdjudicatesResponse response;
    return response.ParseFromString(bytes) && walk_payloads(response);
  });
}

void DecodeLibprotobufArenaWalk(benchmark::State& state) {
  decode_answer(state, [](const std::string& bytes) {
    pb::Arena arena;
    auto* response = pb::Arena::CreateMessage<v1::AdjudicatesResponse>(&arena);
    return response->ParseFromString(bytes) && walk_payloads(*response);
  });
}

void DecodeLibprotobufOnly(benchmark::State& state) {
  decode_answer(state, [](const std::string& bytes) {
    v1::AdjudicatesResponse response;
    const bool ok = response.ParseFromString(bytes);
    benchmark::DoNotOptimize(response);
    return ok;
  });
}

void DecodeLibprotobufToJsonText(benchmark::State& state) {
  decode_answer(state, [](const std::string& bytes) {
    v1::AdjudicatesResponse response;
    if (!response.ParseFromString(bytes)) return false;
    for (const v1::Event& e : response.events()) {
      std::string text;
      if (!pb::util::MessageToJsonString(e.payload(), &text).ok()) return false;
      benchmark::DoNotOptimize(text);
    }
    return true;
  });
}

BENCHMARK(EncodeOurs)->Name("Encode/event/ours");
BENCHMARK(EncodeLibprotobufFromText)->Name("Encode/event/libprotobuf_json_to_struct_then_serialize");
BENCHMARK(EncodeOursFromText)->Name("Encode/event/ours_from_text");
BENCHMARK(EncodeLibprotobufPrebuilt)->Name("Encode/event/libprotobuf_serialize_prebuilt_struct");
BENCHMARK(EncodeLibprotobufPrebuiltSorted)->Name("Encode/event/libprotobuf_serialize_prebuilt_struct_sorted");
BENCHMARK(DecodeOurs)->Name("Decode/answer100/ours");
BENCHMARK(DecodeLibprotobufWalk)->Name("Decode/answer100/libprotobuf_parse_then_walk");
BENCHMARK(DecodeLibprotobufArenaWalk)->Name("Decode/answer100/libprotobuf_arena_parse_then_walk");
BENCHMARK(DecodeLibprotobufOnly)->Name("Decode/answer100/libprotobuf_parse_only");
BENCHMARK(DecodeLibprotobufToJsonText)->Name("Decode/answer100/libprotobuf_parse_then_json_text");

}  // namespace
