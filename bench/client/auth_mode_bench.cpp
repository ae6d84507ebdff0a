// The cost of the authorization mode on a whole call: one call at a time,
// from a thread that waits for each, on the same gRPC C++ server
// (revizer_test_server --direct) with the same 2.5 KB event, in bearer mode
// and in Cloud Run mode with a fresh identity token (read on the call's own
// worker, no hop to another thread): p50/p99/max in us. E.g.
//   auth_mode_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "bench/client/bench_event.h"
#include "bench/client/bench_support.h"
#include "tests/cpp/client/client_fixture.h"

namespace {

using namespace revizer::client;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kTimeout{7000};

std::string endpoint() { return "http://127.0.0.1:" + std::to_string(revizer::bench::bench_server().port()); }

test_support::Client bearer_client() {
  auto connected = test_support::connect(endpoint(), kTimeout, "bench-token");
  if (!connected) {
    std::cerr << "did not connect: " << test_support::text_of(connected.error()) << "\n";
    std::abort();
  }
  return *connected;
}

// The bearer client's connection with a Cloud Run interceptor whose token
// stays fresh for the whole run (its source is never asked for another).
test_support::Client cloud_run_client() {
  ClientState state = bearer_client()->read_state();
  revizer::common::IdentityTokenSource source{
      [](const std::string&) -> revizer::Result<std::string, std::string> { return std::string(900, 'j'); },
      [] { return Clock::now(); }, [](std::function<void()>) { std::abort(); }};
  auto interceptor = revizer::common::cloud_run_interceptor_from(endpoint() + "/svc.run.app", "bench-token",
                                                                 std::string(900, 'j'), std::move(source));
  if (!interceptor) std::abort();
  state.interceptor = std::move(*interceptor);
  return std::make_shared<const RevizerGrpcClient>(std::move(state), kTimeout);
}

void measure(benchmark::State& state, const test_support::Client& client) {
  const revizer::wire::WireEvent event = revizer::bench::our_bench_event(0);
  std::vector<double> micros;
  for (auto _ : state) {
    std::vector<revizer::wire::WireEvent> request{event};
    const auto start = Clock::now();
    auto answers = block_on(client->executor(), test_support::adjudicate_async(client, std::move(request)));
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (!answers || answers->size() != 1) state.SkipWithError("a call failed");
  }
  revizer::bench::report_latency(state, micros);
}

void BM_Unary_Bearer(benchmark::State& state) {
  static const test_support::Client client = bearer_client();
  measure(state, client);
}
BENCHMARK(BM_Unary_Bearer)->Iterations(5000)->UseRealTime();

void BM_Unary_CloudRun(benchmark::State& state) {
  static const test_support::Client client = cloud_run_client();
  measure(state, client);
}
BENCHMARK(BM_Unary_CloudRun)->Iterations(5000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
