// Client benchmarks against revizer_test_server with the ~2 KB event of
// bench_event.h: the latency of one unary call at a time (p50/p99 counters)
// and the throughput with 64 calls in flight. The gRPC C++ library's own
// client is the baseline; our client's figures belong beside it in this run.

#include <grpcpp/grpcpp.h>

#include <chrono>
#include <memory>

#include "bench/client/bench_event.h"
#include "bench/client/bench_support.h"
#include "tavimor/revizer/v1/revizer.grpc.pb.h"

namespace revizer::bench {
namespace {

namespace v1 = tavimor::revizer::v1;

constexpr auto kDeadline = std::chrono::seconds(7);
constexpr int kInFlight = 64;
constexpr int kCallsPerIteration = 1024;

std::unique_ptr<v1::RevizerService::Stub> grpc_cpp_stub() {
  auto channel = grpc::CreateChannel(bench_server().address(), grpc::InsecureChannelCredentials());
  channel->WaitForConnected(std::chrono::system_clock::now() + std::chrono::seconds(10));
  return v1::RevizerService::NewStub(channel);
}

v1::AdjudicatesRequest one_event_request() {
  v1::AdjudicatesRequest request;
  *request.add_events() = bench_wire_event(0);
  return request;
}

void BM_GrpcCpp_UnaryLatency(benchmark::State& state) {
  auto stub = grpc_cpp_stub();
  const v1::AdjudicatesRequest request = one_event_request();
  std::vector<double> micros;
  for (auto _ : state) {
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + kDeadline);
    v1::AdjudicatesResponse response;
    const auto started = std::chrono::steady_clock::now();
    const grpc::Status status = stub->Adjudicates(&context, request, &response);
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started).count());
    if (!status.ok() || response.events_size() != 1) {
      state.SkipWithError(("call failed: " + status.error_message()).c_str());
      break;
    }
  }
  report_latency(state, micros);
  state.counters["request_bytes"] = static_cast<double>(request.ByteSizeLong());
}
BENCHMARK(BM_GrpcCpp_UnaryLatency)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_GrpcCpp_Throughput64InFlight(benchmark::State& state) {
  auto stub = grpc_cpp_stub();
  const v1::AdjudicatesRequest request = one_event_request();
  struct Call {
    grpc::ClientContext context;
    v1::AdjudicatesResponse response;
  };
  for (auto _ : state) {
    const int failed = run_in_flight(kCallsPerIteration, kInFlight, [&](int, std::function<void(bool)> done) {
      auto call = std::make_shared<Call>();
      call->context.set_deadline(std::chrono::system_clock::now() + kDeadline);
      stub->async()->Adjudicates(&call->context, &request, &call->response,
                                 [call, done = std::move(done)](grpc::Status status) {
                                   done(status.ok() && call->response.events_size() == 1);
                                 });
    });
    if (failed) {
      state.SkipWithError("calls failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kCallsPerIteration);
  state.counters["in_flight"] = kInFlight;
}
BENCHMARK(BM_GrpcCpp_Throughput64InFlight)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace revizer::bench
