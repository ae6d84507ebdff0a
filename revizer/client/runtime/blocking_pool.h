#pragma once

// A pool of threads for work that blocks: threads are started on demand up to
// a cap and leave after a while without work, so an idle process keeps none.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

namespace revizer::client {

// A move-only job (it may own a completion handler).
class BlockingJob {
 public:
  BlockingJob() = default;
  template <class F>
  BlockingJob(F f) : impl_(std::make_unique<Impl<F>>(std::move(f))) {}
  void operator()() { impl_->run(); }

 private:
  struct Base {
    virtual ~Base() = default;
    virtual void run() = 0;
  };
  template <class F>
  struct Impl final : Base {
    explicit Impl(F f) : f(std::move(f)) {}
    void run() override { f(); }
    F f;
  };
  std::unique_ptr<Base> impl_;
};

class BlockingPool {
 public:
  explicit BlockingPool(std::size_t max_threads);
  BlockingPool(const BlockingPool&) = delete;
  BlockingPool& operator=(const BlockingPool&) = delete;
  // Process-wide pools are never destroyed: their threads may still run.

  // Queues `job`; a thread runs it as soon as one is free. Never blocks.
  void post(BlockingJob job);

  std::size_t max_threads() const { return max_threads_; }

 private:
  void run_thread();

  const std::size_t max_threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::deque<BlockingJob> jobs_;
  std::size_t threads_ = 0;
  std::size_t idle_ = 0;
};

}  // namespace revizer::client
