#pragma once

// A pool of threads for work that blocks: threads are started on demand up to
// a cap and leave after a while without work, so an idle process keeps none.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace revizer::client {

class BlockingPool {
 public:
  explicit BlockingPool(std::size_t max_threads);
  BlockingPool(const BlockingPool&) = delete;
  BlockingPool& operator=(const BlockingPool&) = delete;
  // Process-wide pools are never destroyed: their threads may still run.

  // Queues `job`; a thread runs it as soon as one is free. Never blocks.
  void post(std::function<void()> job);

  std::size_t max_threads() const { return max_threads_; }

 private:
  void run_thread();

  const std::size_t max_threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::deque<std::function<void()>> jobs_;
  std::size_t threads_ = 0;
  std::size_t idle_ = 0;
};

}  // namespace revizer::client
