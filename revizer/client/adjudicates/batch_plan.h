#pragma once

// Packing wire events into requests of at most 16 MiB: greedily, in order.
// An event costs its key byte, the varint of its length and its length.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/result.h"

namespace revizer::client {

inline constexpr std::size_t kRequestLimit = 16 * 1024 * 1024;

std::size_t varint_length(std::uint64_t value);
// The bytes one event of encoded length `encoded_len` takes inside a request.
std::size_t event_cost(std::size_t encoded_len);

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
