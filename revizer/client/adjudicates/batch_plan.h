#pragma once

// Packing wire events into requests of at most 16 MiB: greedily, in order,
// by each event's cost inside a request (its key, its length, the event).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/result.h"

namespace revizer::client {

inline constexpr std::size_t kRequestLimit = 16 * 1024 * 1024;

struct BatchRange {
  std::size_t start;
  std::size_t end;  // one past the last event
  bool operator==(const BatchRange&) const = default;
};

struct OversizedEvent {
  std::size_t index;
  std::size_t size;
  std::size_t limit;
  bool operator==(const OversizedEvent&) const = default;
};

// Batches covering every index once, in order; an empty list gives one empty
// batch. An event whose cost alone is over the limit fails the whole plan.
Result<std::vector<BatchRange>, OversizedEvent> pack_batches(const std::vector<std::size_t>& costs);

}  // namespace revizer::client
