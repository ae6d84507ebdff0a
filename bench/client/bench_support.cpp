#include "bench/client/bench_support.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>

namespace revizer::bench {

const peers::RevizerServerProcess& bench_server() {
  static const peers::RevizerServerProcess server({.direct = true});
  if (!server.ok()) {
    std::cerr << "revizer_test_server did not start\n";
    std::abort();
  }
  return server;
}

void report_latency(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double quantile) {
    return micros[std::min(micros.size() - 1, static_cast<std::size_t>(quantile * static_cast<double>(micros.size())))];
  };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = micros.back();
}

int run_in_flight(int total, int window, const StartCall& start) {
  struct Progress {
    std::mutex lock;
    std::condition_variable all_done;
    int ended = 0;
    int failed = 0;
    std::atomic<int> next{0};
  };
  auto progress = std::make_shared<Progress>();
  // Each call that ends starts the next one, so `window` calls stay in flight.
  auto launch = std::make_shared<std::function<void()>>();
  *launch = [progress, launch_weak = std::weak_ptr<std::function<void()>>(launch), total, &start] {
    const int index = progress->next.fetch_add(1);
    if (index >= total) return;
    start(index, [progress, launch_weak, total](bool ok) {
      {
        std::lock_guard hold(progress->lock);
        ++progress->ended;
        if (!ok) ++progress->failed;
        if (progress->ended == total) progress->all_done.notify_all();
      }
      if (auto next = launch_weak.lock()) (*next)();
    });
  };
  for (int i = 0; i < std::min(window, total); ++i) (*launch)();
  std::unique_lock hold(progress->lock);
  progress->all_done.wait(hold, [&] { return progress->ended == total; });
  return progress->failed;
}

}  // namespace revizer::bench
