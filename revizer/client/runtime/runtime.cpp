#include "revizer/client/runtime/runtime.h"

#include <asio/executor_work_guard.hpp>
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

Runtime::Runtime(std::size_t workers)
    : context_(static_cast<int>(workers)), workers_(workers), blocking_(kMaxBlockingThreads) {
  // The guard is never reset: the workers serve the context for the life of the process.
  static auto* const keep_running = new asio::executor_work_guard<asio::io_context::executor_type>(context_.get_executor());
  (void)keep_running;
  for (std::size_t i = 0; i < workers_; ++i) {
    std::thread([this] { context_.run(); }).detach();
  }
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
