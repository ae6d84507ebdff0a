#pragma once

// What the client benchmark shares between the clients it measures: the
// server, the latency report, the driver that keeps a number of calls in
// flight, and a reporter that ends the run with the ratio of each figure of
// our client to the same figure of each gRPC C++ client interface.

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/peers/revizer_server_process.h"

namespace revizer::bench {

// revizer_test_server (the gRPC C++ library's server) in direct mode, with
// no relay between it and the clients: started on first use, stopped when
// the benchmark program ends. Aborts the run when it cannot start.
const peers::RevizerServerProcess& bench_server();

// Sets the counters "p50_us", "p99_us" and "max_us" from one latency sample
// (in microseconds) per call.
void report_latency(benchmark::State& state, std::vector<double>& micros);

// Runs `total` calls, at most `window` of them in flight: `start(i, done)`
// begins call i and must call `done(ok)` once, on any thread, when it ends;
// the next call starts from there. Returns when every call has ended, with
// the number that failed.
using StartCall = std::function<void(int index, std::function<void(bool ok)> done)>;
int run_in_flight(int total, int window, const StartCall& start);

// This process's resident set, in KiB.
long rss_kib();

// The console report, and at the end the median of each counter over the
// repetitions of "<measure>/Ours" next to the same median of every other
// client of that measure ("<measure>/<client>") with the ratio ours /
// theirs, and the machine's load averages at the start and the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter();
  void ReportRuns(const std::vector<Run>& runs) override;
  void print_ratios(std::ostream& out) const;

 private:
  std::string load_at_start_;
  // "<measure>/<client>" -> counter -> one value per repetition
  std::map<std::string, std::map<std::string, std::vector<double>>> values_;
};

}  // namespace revizer::bench
