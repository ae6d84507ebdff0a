#include "revizer/client/adjudicates/batch_plan.h"

namespace revizer::client {

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
