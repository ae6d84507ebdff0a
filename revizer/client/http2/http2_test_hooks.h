#pragma once

// Faults that tests inject into the HTTP/2 connection. Users never reach
// them: they are not part of the Python module's surface.

#include <atomic>
#include <new>

namespace revizer::client::http2_test_hooks {

// The next this-many receptions of answer bytes fail to allocate.
inline std::atomic<int> allocation_failures{0};

inline void maybe_fail_allocation() {
  if (allocation_failures.load(std::memory_order_relaxed) > 0 &&
      allocation_failures.fetch_sub(1, std::memory_order_relaxed) > 0) {
    throw std::bad_alloc();
  }
}

}  // namespace revizer::client::http2_test_hooks
