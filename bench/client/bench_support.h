#pragma once

// What every client benchmark of this directory shares: the server, the
// latency report and the driver that keeps a number of calls in flight. A
// client added here measures the same event against the same server in the
// same run, so its figures read as ratios against the gRPC C++ baseline.

#include <benchmark/benchmark.h>

#include <functional>
#include <vector>

#include "tests/peers/revizer_server_process.h"

namespace revizer::bench {

// revizer_test_server (the gRPC C++ library's server) in direct mode, with
// no relay between it and the client: started on first use, stopped when the
// benchmark program ends. Aborts the run when it cannot start.
const peers::RevizerServerProcess& bench_server();

// Sets the counters "p50_us", "p99_us" and "max_us" from one latency sample
// (in microseconds) per call.
void report_latency(benchmark::State& state, std::vector<double>& micros);

// Runs `total` calls, at most `window` of them in flight: `start(i, done)`
// begins call i and must call `done(ok)` once, on any thread, when it ends.
// Returns when every call has ended, with the number that failed.
using StartCall = std::function<void(int index, std::function<void(bool ok)> done)>;
int run_in_flight(int total, int window, const StartCall& start);

}  // namespace revizer::bench
