#include "revizer/client/adjudicates/batch_plan.h"

namespace revizer::client {

std::size_t varint_length(std::uint64_t value) {
  std::size_t length = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++length;
  }
  return length;
}

std::size_t event_cost(std::size_t encoded_len) { return 1 + varint_length(encoded_len) + encoded_len; }

Result<std::vector<BatchRange>, OversizedEvent> pack_batches(const std::vector<std::size_t>& costs) {
  std::vector<BatchRange> batches;
  std::size_t start = 0;
  std::size_t running = 0;
  for (std::size_t i = 0; i < costs.size(); ++i) {
    const std::size_t cost = costs[i];
    if (cost > kRequestLimit) return fail(OversizedEvent{i, cost, kRequestLimit});
    if (i > start && running + cost > kRequestLimit) {
      batches.push_back({start, i});
      start = i;
      running = cost;
    } else {
      running += cost;
    }
  }
  batches.push_back({start, costs.size()});
  return batches;
}

}  // namespace revizer::client
