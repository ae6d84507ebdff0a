#include "revizer/client/channel/connect_backoff.h"

#include <algorithm>

namespace revizer::client {

ConnectBackoff::ConnectBackoff() : random_(std::random_device{}()) {}

std::chrono::milliseconds ConnectBackoff::next() {
  std::uniform_real_distribution<double> spread(1.0 - kJitter, 1.0 + kJitter);
  const double wait = current_ms_ * spread(random_);
  current_ms_ = std::min(current_ms_ * kMultiplier, static_cast<double>(kMax.count()));
  return std::chrono::milliseconds(static_cast<std::int64_t>(wait));
}

}  // namespace revizer::client
