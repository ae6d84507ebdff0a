// Our client against the gRPC C++ library's client, in one run, on the same
// gRPC C++ server (revizer_test_server --direct) on loopback, with the same
// 2.5 KB event (bench_event.h):
//   Unary         one call at a time from a thread that waits for each (ours:
//                 block_on; theirs: the blocking stub): p50/p99/max in us
//   UnaryChained  one call at a time, each started from the completion of the
//                 one before, through the clients' asynchronous interfaces
//                 (the gRPC C++ client's two: callbacks, and a completion
//                 queue) and the same driver: p50/p99/max in us
//   InFlight64    calls per second with 64 in flight (the same driver)
//   Soak          our client's RSS after 10,000 and after 1,000,000 calls
//                 with 64 in flight
// Each request is copied from the prepared event per call, by both clients,
// outside the timed span. The program ends with the medians of each figure
// over the repetitions and the ratio of ours to each gRPC C++ figure, e.g.
//   client_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// (interleaving spreads the machine's changing load over both clients).
#include <benchmark/benchmark.h>
#include <grpcpp/grpcpp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/client/bench_event.h"
#include "bench/client/bench_support.h"
#include "schema/wire/adjudicates_request.h"
#include "tavimor/revizer/v1/revizer.grpc.pb.h"
#include "tests/cpp/client/client_fixture.h"

namespace {

namespace pb = tavimor::revizer::v1;
using namespace revizer::client;
using revizer::bench::bench_server;
using Clock = std::chrono::steady_clock;
using Done = std::function<void(bool ok)>;

constexpr std::chrono::milliseconds kTimeout{7000};
constexpr int kInFlight = 64;
constexpr int kChainedCalls = 5000;
constexpr int kInFlightCalls = 5000;
constexpr int kSoakEarly = 10'000;

std::string endpoint() { return "127.0.0.1:" + std::to_string(bench_server().port()); }

double micros_since(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Our client, connected once. Its calls are spawned on the worker that
// serves its connection, as the client suggests (executor()).
struct Ours {
  using Request = std::vector<revizer::wire::WireEvent>;
  static constexpr const char* kName = "Ours";

  Ours() : event(revizer::bench::our_bench_event(0)) {}

  static const test_support::Client& client() {
    static const test_support::Client connected = [] {
      auto result = test_support::connect("http://" + endpoint(), kTimeout, "bench-token");
      if (!result) {
        std::cerr << "our client did not connect: " << test_support::text_of(result.error()) << "\n";
        std::abort();
      }
      return *result;
    }();
    return connected;
  }

  Request request() const { return {event}; }
  std::size_t request_bytes() const {
    std::string framed;
    if (!revizer::wire::AdjudicatesRequest{request()}.encode(framed)) std::abort();
    return framed.size() - kMessagePrefixBytes;
  }
  bool call(Request request) const {
    auto answers = block_on(client()->executor(), test_support::adjudicate_async(client(), std::move(request)));
    return answers && answers->size() == 1;
  }
  void start(Request request, Done done) const {
    spawn_task<test_support::Answers>(client()->executor(), test_support::adjudicate_async(client(), std::move(request)),
                                      [done = std::move(done)](test_support::Answers answers) {
                                        done(answers && answers->size() == 1);
                                      });
  }

  revizer::wire::WireEvent event;
};

// The gRPC C++ library's client: the blocking stub, and its callback
// interface for calls started from completions.
struct GrpcCpp {
  using Request = pb::AdjudicatesRequest;
  static constexpr const char* kName = "GrpcCpp";

  GrpcCpp() { *prepared.add_events() = revizer::bench::grpc_bench_event(0); }

  static pb::RevizerService::Stub& stub() {
    static const auto made =
        pb::RevizerService::NewStub(grpc::CreateChannel(endpoint(), grpc::InsecureChannelCredentials()));
    return *made;
  }

  Request request() const { return prepared; }
  std::size_t request_bytes() const { return prepared.ByteSizeLong(); }
  bool call(const Request& request) const {
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + kTimeout);
    pb::AdjudicatesResponse response;
    return stub().Adjudicates(&context, request, &response).ok() && response.events_size() == 1;
  }
  void start(Request request, Done done) const {
    struct Call {
      grpc::ClientContext context;
      Request request;
      pb::AdjudicatesResponse response;
    };
    auto call = std::make_shared<Call>();
    call->request = std::move(request);
    call->context.set_deadline(std::chrono::system_clock::now() + kTimeout);
    stub().async()->Adjudicates(&call->context, &call->request, &call->response,
                                [call, done = std::move(done)](grpc::Status status) {
                                  done(status.ok() && call->response.events_size() == 1);
                                });
  }

  Request prepared;
};

// The same client's completion-queue interface, with one thread of ours
// draining the queue (the interface of the gRPC C++ client's own
// benchmarks); the next call starts from that thread.
struct GrpcCppQueue : GrpcCpp {
  static constexpr const char* kName = "GrpcCppQueue";

  GrpcCppQueue()
      : drain([this] {
          void* tag = nullptr;
          bool ok = false;
          while (queue.Next(&tag, &ok)) {
            std::unique_ptr<Call> call(static_cast<Call*>(tag));
            call->done(ok && call->status.ok() && call->response.events_size() == 1);
          }
        }) {}
  ~GrpcCppQueue() {
    queue.Shutdown();
    drain.join();
  }

  void start(Request request, Done done) const {
    auto call = std::make_unique<Call>();
    call->request = std::move(request);
    call->done = std::move(done);
    call->context.set_deadline(std::chrono::system_clock::now() + kTimeout);
    call->reader = stub().AsyncAdjudicates(&call->context, call->request, &queue);
    Call* tag = call.get();
    tag->reader->Finish(&tag->response, &tag->status, call.release());  // the queue hands it back
  }

  struct Call {
    grpc::ClientContext context;
    Request request;
    pb::AdjudicatesResponse response;
    grpc::Status status;
    Done done;
    std::unique_ptr<grpc::ClientAsyncResponseReader<pb::AdjudicatesResponse>> reader;
  };
  mutable grpc::CompletionQueue queue;
  std::thread drain;
};

template <class Side>
void unary(benchmark::State& state) {
  const Side side;
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    auto request = side.request();
    const auto start = Clock::now();
    const bool ok = side.call(std::move(request));
    micros.push_back(micros_since(start));
    if (!ok) {
      state.SkipWithError("call failed");
      break;
    }
  }
  revizer::bench::report_latency(state, micros);
}

template <class Side>
void unary_chained(benchmark::State& state) {
  const Side side;
  std::vector<double> micros(kChainedCalls);
  for (auto _ : state) {
    const int failed = revizer::bench::run_in_flight(kChainedCalls, 1, [&](int index, Done done) {
      auto request = side.request();
      const auto start = Clock::now();
      side.start(std::move(request), [&micros, index, start, done = std::move(done)](bool ok) {
        micros[static_cast<std::size_t>(index)] = micros_since(start);
        done(ok);
      });
    });
    if (failed > 0) state.SkipWithError("calls failed");
  }
  revizer::bench::report_latency(state, micros);
}

template <class Side>
void in_flight(benchmark::State& state) {
  const Side side;
  for (auto _ : state) {
    const int failed = revizer::bench::run_in_flight(
        kInFlightCalls, kInFlight, [&](int, Done done) { side.start(side.request(), std::move(done)); });
    if (failed > 0) state.SkipWithError("calls failed");
  }
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kInFlightCalls, benchmark::Counter::kIsRate);
}

void soak(benchmark::State& state) {
  const Ours side;
  const int calls = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::atomic<int> ended{0};
    std::atomic<long> rss_early{0};
    const int failed = revizer::bench::run_in_flight(calls, kInFlight, [&](int, Done done) {
      side.start(side.request(), [&, done = std::move(done)](bool ok) {
        if (++ended == kSoakEarly) rss_early = revizer::bench::rss_kib();
        done(ok);
      });
    });
    if (failed > 0) state.SkipWithError("calls failed");
    const long rss_end = revizer::bench::rss_kib();
    state.counters["rss_10k_kib"] = static_cast<double>(rss_early.load());
    state.counters["rss_end_kib"] = static_cast<double>(rss_end);
    state.counters["growth_pct"] = 100.0 * static_cast<double>(rss_end - rss_early) / static_cast<double>(rss_early);
  }
}

// Both clients must send the same thing.
void check_same_request() {
  const std::size_t ours = Ours().request_bytes();
  const std::size_t theirs = GrpcCpp().request_bytes();
  if (ours != theirs) {
    std::cerr << "the clients' requests differ: " << ours << " bytes (ours) against " << theirs << " bytes\n";
    std::abort();
  }
}

using Body = void (*)(benchmark::State&);

void register_measure(const std::string& measure, std::initializer_list<std::pair<const char*, Body>> clients,
                      int iterations) {
  for (const auto& [client, body] : clients) {
    benchmark::RegisterBenchmark((measure + "/" + client).c_str(), body)->Iterations(iterations)->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  check_same_request();
  register_measure("Unary", {{Ours::kName, unary<Ours>}, {GrpcCpp::kName, unary<GrpcCpp>}}, 5000);
  register_measure("UnaryChained",
                   {{Ours::kName, unary_chained<Ours>},
                    {GrpcCpp::kName, unary_chained<GrpcCpp>},
                    {GrpcCppQueue::kName, unary_chained<GrpcCppQueue>}},
                   1);
  register_measure("InFlight64",
                   {{Ours::kName, in_flight<Ours>},
                    {GrpcCpp::kName, in_flight<GrpcCpp>},
                    {GrpcCppQueue::kName, in_flight<GrpcCppQueue>}},
                   5);
  benchmark::RegisterBenchmark("Soak/Ours", soak)->Arg(1'000'000)->Iterations(1)->UseRealTime();
  revizer::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios(std::cout);
  benchmark::Shutdown();
  return 0;
}
