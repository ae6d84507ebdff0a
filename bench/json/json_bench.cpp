// Our JSON reader and writer against RapidJSON's DOM, in the same run, on a
// real event envelope (a tool call from a coding agent, ~2 KB), a generated
// event-sized document and a trajectory-sized (~1 MB) one. Then the event
// envelope read into its record: through the tree (parse, normalise,
// decode) and straight from the text.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <string>

#include "model/event/envelope_normalization.h"
#include "model/event/event_record.h"
#include "model/event/event_text.h"
#include "model/json/reader.h"
#include "model/json/writer.h"

namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Prose with the odd escape and non-ASCII character, as agent texts have.
std::string prose(std::size_t length, int seed) {
  static const char* kWords[] = {"the", "agent", "calls", "tool", "with", "arguments", "r\\u00e9sum\\u00e9",
                                 "and", "reads", "the", "\\\"result\\\"", "caf\xc3\xa9", "then", "plans", "next\\n"};
  std::string out;
  for (int i = seed; out.size() < length; ++i) {
    out += kWords[(i * 7) % 15];
    out += ' ';
  }
  return out;
}

std::string event(int i) {
  const std::string n = std::to_string(i);
  return R"({"id":"evt-)" + n + R"(","trajectory_id":"traj-42","timestamp":"2025-01-01T00:00:)" + n +
         R"(Z","sequence":)" + n + R"(,"category":"Action","payload":{"type":"ToolCall","data":{"tool":"search","call_id":"c-)" +
         n + R"(","arguments":{"query":)" + quoted(prose(120, i)) + R"(,"limit":10,"score":0.875,"offset":-3,"exact":false}}},)" +
         R"("agent":{"id":"agent-1","provider":"acme","platform":"linux","card":{"ReActAgentCard":{"name":"helper","description":)" +
         quoted(prose(200, i + 1)) + R"(,"tools":[{"id":"t1","name":"search","description":)" + quoted(prose(150, i + 2)) +
         R"(,"parameters":[{"name":"query","description":"what to look for","type":"string"},{"name":"limit","description":"how many","type":"integer"}]},)" +
         R"({"name":"fetch","description":)" + quoted(prose(150, i + 3)) +
         R"(,"parameters":[{"name":"url","description":"the address","type":"string"}],"source":{"language":"python","code":)" +
         quoted(prose(300, i + 4)) + R"(}}],"sub_agents":[]}}},"metadata":{"labels":{"env":"prod","team":"core"},"values":[1,2,3,4,5,6,7,8,9,10,1.5e-7,1e16,null,true]}})";
}

// A tool call as a coding agent's hook adapter sends it: nested arguments,
// the full coding-agent card with capabilities, an asset and a settings
// snapshot with an MCP server, causality and execution attribution.
const std::string& tool_call_doc() {
  static const std::string doc = R"json({"event_id":"evt-3f1c9a52-7d4e-4b8a-9c21-5e6f7a8b9c0d","trajectory_id":"traj-8b2e4f10-1a2b-4c3d-8e9f-0a1b2c3d4e5f",
"agent":{"id":"agent-coder-01","provider":"example-labs","platform":"linux-x86_64","card":{"CodingAgentCard":{
"metadata":{"schema_version":"1.2","hook_version":"2.3.1"},"model":"coder-large-2025-02",
"workspace_root":"/home/dev/projects/payments","execution_mode":"interactive",
"system_instruction":"You are a careful coding assistant. Prefer small, reviewed changes.",
"capabilities":{"tools":[{"name":"Edit","description":"Replaces text in a file","parameters":[
{"name":"file_path","description":"absolute path","type":"string"},{"name":"edits","description":"replacements in order","type":"array"}]}],
"hook_commands":["hooks/pre_tool_use.py"],"slash_commands":["/review","/test"],"named_agents":["reviewer"],"skills":["python"]},
"assets":[{"scope":"project","kind":"instructions","name":"AGENTS.md","path":"/home/dev/projects/payments/AGENTS.md",
"content_sha256":"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"}],
"settings":[{"scope":"user","path":"/home/dev/.config/coder/settings.json",
"content_sha256":"60303ae22b998861bce3b28f33eec1be758a213c86c93c076dbe9f558c11c752",
"allow_permissions":["Bash(git status)","Read(*)"],"deny_permissions":["Read(.env)"],"hook_commands":[],
"mcp_servers":{"docs":{"type":"stdio","command":"docs-mcp","args":["--root","/srv/docs"],"env":{"LOG":"warn"}}}}],
"normalized_context":{"codex.hook_event_name":"PreToolUse","codex.permission_mode":"default"}}}},
"timestamp":"2025-03-04T05:06:07.120Z",
"event":{"category":"Action","payload":{"type":"ToolCall","data":{"call_id":"call-6a7b8c9d-0e1f-4a2b-8c3d-4e5f6a7b8c9d","tool":"Edit",
"arguments":{"file_path":"/home/dev/projects/payments/src/ledger/reconcile.py","edits":[
{"old_string":"def reconcile(entries):\n    total = 0","new_string":"def reconcile(entries, *, strict=False):\n    total = Decimal(0)","replace_all":false},
{"old_string":"return total","new_string":"return total.quantize(Decimal(\"0.01\"))","replace_all":true}],
"options":{"dry_run":false,"encoding":"utf-8","max_bytes":65536,"similarity":0.875,"tags":["refactor","caf\u00e9"]}}}}},
"actor":{"id":"agent-coder-01","actor_type":"Agent"},
"causality":{"correlation_id":"corr-1b2c3d4e-5f60-4718-9a0b-c1d2e3f4a5b6","causation_id":"evt-0a9b8c7d-6e5f-4a3b-8c1d-2e3f4a5b6c7d","parent_id":null},
"provider_call_id":"toolu_01HJK7Q2XW9V3M8N5P4R6T2Y","execution":{"agent_name":"main","agent_path":["main"]}})json";
  return doc;
}

const std::string& event_doc() {
  static const std::string doc = event(1);
  return doc;
}

const std::string& trajectory_doc() {
  static const std::string doc = [] {
    std::string out = R"({"trajectory_id":"traj-42","events":[)";
    for (int i = 0; out.size() < (1u << 20); ++i) {
      if (i > 0) out += ',';
      out += R"({"event":)" + event(i) + R"(,"observation":)" + quoted(prose(1500, i)) + "}";
    }
    return out + "]}";
  }();
  return doc;
}

void set_bytes(benchmark::State& state, const std::string& doc) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
}

template <const std::string& (*Doc)()>
void ReadOurs(benchmark::State& state) {
  const std::string& doc = Doc();
  for (auto _ : state) {
    auto v = revizer::json::parse(doc);
    if (!v) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v);
  }
  set_bytes(state, doc);
}

template <const std::string& (*Doc)(), unsigned kFlags>
void ReadRapid(benchmark::State& state) {
  const std::string& doc = Doc();
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse<kFlags>(doc.data(), doc.size());
    if (d.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(d);
  }
  set_bytes(state, doc);
}

template <const std::string& (*Doc)()>
void WriteOurs(benchmark::State& state) {
  const std::string& doc = Doc();
  const auto v = revizer::json::parse(doc);
  for (auto _ : state) {
    std::string out = revizer::json::write(*v);
    benchmark::DoNotOptimize(out);
  }
  set_bytes(state, doc);
}

template <const std::string& (*Doc)()>
void WriteRapid(benchmark::State& state) {
  const std::string& doc = Doc();
  rapidjson::Document d;
  d.Parse(doc.data(), doc.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    d.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  set_bytes(state, doc);
}

void DecodeTree(benchmark::State& state) {
  const std::string& doc = tool_call_doc();
  for (auto _ : state) {
    auto v = revizer::json::parse(doc);
    if (!v || !revizer::event::normalize_event_envelope(*v)) state.SkipWithError("parse failed");
    auto e = revizer::json::decode<revizer::event::Event>(std::move(*v));
    if (!e) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(e);
  }
  set_bytes(state, doc);
}

void DecodeStraight(benchmark::State& state) {
  const std::string& doc = tool_call_doc();
  for (auto _ : state) {
    revizer::event::Event e;
    if (!revizer::event::read_event_text(doc, e)) state.SkipWithError("not taken");
    benchmark::DoNotOptimize(e);
  }
  set_bytes(state, doc);
}

// RapidJSON's default, and with the guarantees our reader always gives
// (UTF-8 validated, floats correctly rounded).
constexpr unsigned kRapidDefault = rapidjson::kParseDefaultFlags;
constexpr unsigned kRapidStrict = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag;

BENCHMARK(ReadOurs<tool_call_doc>)->Name("Read/tool_call/ours");
BENCHMARK(ReadRapid<tool_call_doc, kRapidDefault>)->Name("Read/tool_call/rapidjson");
BENCHMARK(ReadRapid<tool_call_doc, kRapidStrict>)->Name("Read/tool_call/rapidjson_validating");
BENCHMARK(WriteOurs<tool_call_doc>)->Name("Write/tool_call/ours");
BENCHMARK(WriteRapid<tool_call_doc>)->Name("Write/tool_call/rapidjson");
BENCHMARK(ReadOurs<event_doc>)->Name("Read/event/ours");
BENCHMARK(ReadRapid<event_doc, kRapidDefault>)->Name("Read/event/rapidjson");
BENCHMARK(ReadRapid<event_doc, kRapidStrict>)->Name("Read/event/rapidjson_validating");
BENCHMARK(WriteOurs<event_doc>)->Name("Write/event/ours");
BENCHMARK(WriteRapid<event_doc>)->Name("Write/event/rapidjson");
BENCHMARK(ReadOurs<trajectory_doc>)->Name("Read/trajectory/ours");
BENCHMARK(ReadRapid<trajectory_doc, kRapidDefault>)->Name("Read/trajectory/rapidjson");
BENCHMARK(ReadRapid<trajectory_doc, kRapidStrict>)->Name("Read/trajectory/rapidjson_validating");
BENCHMARK(WriteOurs<trajectory_doc>)->Name("Write/trajectory/ours");
BENCHMARK(WriteRapid<trajectory_doc>)->Name("Write/trajectory/rapidjson");
BENCHMARK(DecodeTree)->Name("Decode/tool_call/tree");
BENCHMARK(DecodeStraight)->Name("Decode/tool_call/straight");

}  // namespace
