// Our client against the gRPC C++ library's client, in one run, on the same
// gRPC C++ server (revizer_test_server --direct) on loopback, with the same
// ~2 KB event: unary latency (p50/p99 counters) and throughput with 64 calls
// in flight. Compare each figure with its GrpcCpp twin of the same run.
#include <benchmark/benchmark.h>
#include <grpcpp/grpcpp.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>

#include "schema/wire/adjudicates_request.h"
#include "tavimor/revizer/v1/revizer.grpc.pb.h"
#include "tests/cpp/client/client_fixture.h"
#include "tests/peers/revizer_server_process.h"

namespace {

using namespace revizer::client;
using namespace revizer::client::test_support;
namespace pb = tavimor::revizer::v1;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPadding = 2000;
constexpr int kInFlight = 64;

revizer::peers::RevizerServerProcess& server() {
  static auto* process = new revizer::peers::RevizerServerProcess({.direct = true});
  return *process;
}

std::string endpoint() { return "127.0.0.1:" + std::to_string(server().port()); }

Client& our_client() {
  static Client client = [] {
    auto connected = connect("http://" + endpoint());
    if (!connected) std::abort();
    return *connected;
  }();
  return client;
}

pb::RevizerService::Stub& grpc_stub() {
  static auto stub = pb::RevizerService::NewStub(grpc::CreateChannel(endpoint(), grpc::InsecureChannelCredentials()));
  return *stub;
}

// The same event for both clients: ours as a wire event, theirs parsed from its encoding.
revizer::wire::WireEvent bench_event() { return event("bench", "evt-bench", kPadding); }

pb::AdjudicatesRequest grpc_request() {
  revizer::wire::AdjudicatesRequest ours{{bench_event()}};
  std::string framed;
  if (!ours.encode(framed)) std::abort();
  pb::AdjudicatesRequest request;
  request.ParseFromString(framed.substr(5));
  return request;
}

void report_percentiles(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void BM_Unary_Ours(benchmark::State& state) {
  Client client = our_client();
  std::vector<double> micros;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto answers = adjudicate(client, {bench_event()});
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (!answers) state.SkipWithError("call failed");
  }
  report_percentiles(state, micros);
}

void BM_Unary_GrpcCpp(benchmark::State& state) {
  auto& stub = grpc_stub();
  const pb::AdjudicatesRequest request = grpc_request();
  std::vector<double> micros;
  for (auto _ : state) {
    const auto start = Clock::now();
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(7));
    pb::AdjudicatesResponse response;
    const grpc::Status status = stub.Adjudicates(&context, request, &response);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (!status.ok()) state.SkipWithError("call failed");
  }
  report_percentiles(state, micros);
}

// Keeps 64 calls in flight until `total` have completed.
void BM_InFlight64_Ours(benchmark::State& state) {
  Client client = our_client();
  const int total = 2000;
  for (auto _ : state) {
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    int finished = 0;
    std::function<void()> start_one = [&] {
      spawn_task<Answers>(Runtime::shared().executor(), adjudicate_async(client, {bench_event()}), [&](Answers) {
        std::lock_guard guard(lock);
        ++finished;
        if (started < total) {
          ++started;
          start_one();
        }
        changed.notify_one();
      });
    };
    {
      std::lock_guard guard(lock);
      for (; started < kInFlight; ++started) start_one();
    }
    std::unique_lock guard(lock);
    changed.wait(guard, [&] { return finished == total; });
  }
  state.SetItemsProcessed(state.iterations() * total);
}

void BM_InFlight64_GrpcCpp(benchmark::State& state) {
  auto& stub = grpc_stub();
  const pb::AdjudicatesRequest request = grpc_request();
  const int total = 2000;
  struct Call {
    grpc::ClientContext context;
    pb::AdjudicatesResponse response;
    grpc::Status status;
    std::unique_ptr<grpc::ClientAsyncResponseReader<pb::AdjudicatesResponse>> reader;
  };
  for (auto _ : state) {
    grpc::CompletionQueue queue;
    int started = 0;
    int finished = 0;
    const auto start_one = [&] {
      auto* call = new Call;  // owned by the queue's tag until it completes
      call->context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(7));
      call->reader = stub.AsyncAdjudicates(&call->context, request, &queue);
      call->reader->Finish(&call->response, &call->status, call);
      ++started;
    };
    while (started < kInFlight) start_one();
    void* tag = nullptr;
    bool ok = false;
    while (finished < total && queue.Next(&tag, &ok)) {
      std::unique_ptr<Call> done(static_cast<Call*>(tag));
      ++finished;
      if (started < total) start_one();
    }
    queue.Shutdown();
    while (queue.Next(&tag, &ok)) delete static_cast<Call*>(tag);
  }
  state.SetItemsProcessed(state.iterations() * total);
}

// Memory soak: RSS after many calls against RSS after the first ones.
long rss_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

void BM_Soak_Ours(benchmark::State& state) {
  Client client = our_client();
  const long calls = state.range(0);
  for (auto _ : state) {
    long rss_early = 0;
    for (long i = 0; i < calls; ++i) {
      if (!adjudicate(client, {bench_event()})) state.SkipWithError("call failed");
      if (i + 1 == 10'000) rss_early = rss_kib();
    }
    state.counters["rss_10k_kib"] = static_cast<double>(rss_early);
    state.counters["rss_end_kib"] = static_cast<double>(rss_kib());
  }
}

BENCHMARK(BM_Unary_Ours)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_Unary_GrpcCpp)->Iterations(5000)->UseRealTime();
BENCHMARK(BM_InFlight64_Ours)->Iterations(5)->UseRealTime();
BENCHMARK(BM_InFlight64_GrpcCpp)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Soak_Ours)->Arg(1'000'000)->Iterations(1)->UseRealTime();

}  // namespace
