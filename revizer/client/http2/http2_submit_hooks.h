#pragma once

// Faults that tests inject where the connection opens a stream, to make it
// unusable in the middle of the channel's turn. Users never reach them:
// they are not part of the Python module's surface.

#include <atomic>
#include <stdexcept>

namespace revizer::client::http2_test_hooks {

// The next this-many requests find the session out of stream ids.
inline std::atomic<int> stream_id_exhaustion{0};
// The next this-many request headers fail the session as they are sent.
inline std::atomic<int> request_send_failures{0};

inline bool take(std::atomic<int>& faults) {
  return faults.load(std::memory_order_relaxed) > 0 && faults.fetch_sub(1, std::memory_order_relaxed) > 0;
}

inline bool out_of_stream_ids() { return take(stream_id_exhaustion); }

inline void maybe_fail_request_send() {
  if (take(request_send_failures)) throw std::runtime_error("injected failure to send a request");
}

}  // namespace revizer::client::http2_test_hooks
