#include "revizer/client/runtime/blocking_pool.h"

#include <chrono>
#include <thread>

namespace revizer::client {
namespace {

// How long a thread without work waits before it ends.
constexpr std::chrono::seconds kIdleLinger{10};

}  // namespace

BlockingPool::BlockingPool(std::size_t max_threads) : max_threads_(max_threads == 0 ? 1 : max_threads) {}

void BlockingPool::post(BlockingJob job) {
  bool start_thread = false;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    // Each idle thread takes one queued job; more jobs than that need a new thread.
    if (jobs_.size() > idle_ && threads_ < max_threads_) {
      ++threads_;
      start_thread = true;
    }
  }
  if (start_thread) {
    std::thread([this] { run_thread(); }).detach();
  } else {
    work_ready_.notify_one();
  }
}

void BlockingPool::run_thread() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (jobs_.empty()) {
      ++idle_;
      const bool woken = work_ready_.wait_for(lock, kIdleLinger, [this] { return !jobs_.empty(); });
      --idle_;
      if (!woken) break;
    }
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = BlockingJob();  // release what the job captured before waiting again
    lock.lock();
  }
  --threads_;
}

}  // namespace revizer::client
