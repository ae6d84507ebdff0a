#pragma once

// The wait after a failed connection attempt, by the gRPC library's rules:
// 1 s after the first failure, 1.6 times longer after each further one, at
// most 120 s, each wait spread by up to 20 % either way so that clients that
// lost one server together do not all return at the same instant. A
// successful connection starts the sequence again.

#include <chrono>
#include <random>

namespace revizer::client {

class ConnectBackoff {
 public:
  static constexpr std::chrono::milliseconds kInitial{1000};
  static constexpr std::chrono::milliseconds kMax{120'000};
  static constexpr double kMultiplier = 1.6;
  static constexpr double kJitter = 0.2;

  ConnectBackoff();

  // The wait after one more failed attempt.
  std::chrono::milliseconds next();
  void reset() { current_ms_ = static_cast<double>(kInitial.count()); }

 private:
  double current_ms_ = static_cast<double>(kInitial.count());
  std::minstd_rand random_;
};

}  // namespace revizer::client
