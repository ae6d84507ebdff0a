#include "bench/client/bench_support.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>

namespace revizer::bench {
namespace {

constexpr const char* kOurs = "Ours";

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string load_averages() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace

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

long rss_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// Colours only on a terminal.
RatioReporter::RatioReporter()
    : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular), load_at_start_(load_averages()) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
    auto& counters = values_[run.run_name.function_name];
    for (const auto& [name, counter] : run.counters) counters[name].push_back(counter.value);
  }
}

void RatioReporter::print_ratios(std::ostream& out) const {
  out << "\nMedians over repetitions, and ours / theirs (latency: below 1 is faster; calls_per_s: above 1 is"
         " faster)\n";
  for (const auto& [name, counters] : values_) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos || name.substr(slash + 1) != kOurs) continue;
    const std::string measure = name.substr(0, slash);
    for (const auto& [counter, values] : counters) {
      const double ours = median(values);
      out << "  " << std::left << std::setw(14) << measure << std::setw(12) << counter << std::right << std::fixed
          << std::setprecision(1) << "ours " << std::setw(9) << ours << " (" << values.size() << " runs)";
      for (const auto& [other_name, other_counters] : values_) {
        if (other_name == name || !other_name.starts_with(measure + "/") || !other_counters.contains(counter)) continue;
        const double theirs = median(other_counters.at(counter));
        out << "  " << other_name.substr(slash + 1) << " " << std::setprecision(1) << theirs << " ratio "
            << std::setprecision(2) << ours / theirs;
      }
      out << "\n";
    }
  }
  out << "Load averages (1, 5, 15 min): " << load_at_start_ << " at the start, " << load_averages() << " at the end\n";
}

}  // namespace revizer::bench
