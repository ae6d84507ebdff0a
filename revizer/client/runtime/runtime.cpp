#include "revizer/client/runtime/runtime.h"

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "common/env/process_env.h"

namespace revizer::client {
std::size_t runtime_worker_count() {
  if (auto text = common::env_read_text(kWorkerThreadsVariable)) {
    std::size_t count = 0;
    const std::string_view view = *text;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), count);
    if (ec == std::errc() && end == view.data() + view.size() && count > 0) return count;
  }
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : processors;
}

namespace {

// The runtime and context that the calling thread serves, when it is a
// runtime worker (the runtime too: a thread that a fork() carried into a
// child with a runtime of its own serves nothing there).
thread_local const Runtime* t_worker_runtime = nullptr;
thread_local asio::io_context* t_worker_context = nullptr;
// The worker dealt to a thread outside the runtime, once it asked.
constexpr std::size_t kNotDealt = static_cast<std::size_t>(-1);
thread_local std::size_t t_dealt_worker = kNotDealt;

}  // namespace

Runtime::Runtime(std::size_t workers) : workers_(workers), blocking_(kMaxBlockingThreads) {
  contexts_.reserve(workers_);
  keep_running_.reserve(workers_);
  for (std::size_t i = 0; i < workers_; ++i) {
    // A hint of one thread: asio then keeps a worker's own hand-overs in
    // that worker's queue.
    auto& context = *contexts_.emplace_back(std::make_unique<asio::io_context>(1));
    // Never reset: the worker serves its context for the life of the process.
    keep_running_.emplace_back(context.get_executor());
    std::thread([this, &context] {
      t_worker_runtime = this;
      t_worker_context = &context;
      context.run();
    }).detach();
  }
}

asio::any_io_executor Runtime::executor() {
  if (t_worker_runtime == this) return t_worker_context->get_executor();
  if (t_dealt_worker == kNotDealt) t_dealt_worker = next_.fetch_add(1, std::memory_order_relaxed);
  return contexts_[t_dealt_worker % contexts_.size()]->get_executor();
}

Runtime& Runtime::shared() {
  // Never destroyed: workers may still be running when the process exits.
  static Runtime* const runtime = new Runtime(runtime_worker_count());
  return *runtime;
}

void TaskHandle::cancel() const {
  if (!state_) return;
  asio::post(state_->strand, [state = state_] { state->signal.emit(asio::cancellation_type::terminal); });
}

}  // namespace revizer::client
