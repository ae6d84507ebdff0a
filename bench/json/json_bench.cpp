// Our JSON reader and writer against RapidJSON's DOM, in the same run, on an
// event-sized (~2 KB) and a trajectory-sized (~1 MB) document.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <string>

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

// RapidJSON's default, and with the guarantees our reader always gives
// (UTF-8 validated, floats correctly rounded).
constexpr unsigned kRapidDefault = rapidjson::kParseDefaultFlags;
constexpr unsigned kRapidStrict = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag;

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

}  // namespace
