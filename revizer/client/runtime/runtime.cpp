#include "revizer/client/runtime/runtime.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "common/env/process_env.h"
#include "platform/process_events.h"

namespace revizer::client {
namespace {

constexpr std::chrono::seconds kExitWait{2};

// The current runtime and the lock its creation takes. A forked child gets a
// fresh pair: the parent's lock may have been held by a thread that the child
// does not have, and the parent's runtime has no threads there. Both are
// left allocated on purpose.
struct SharedRuntime {
  std::mutex creating;
  std::atomic<Runtime*> current{nullptr};
};
std::atomic<SharedRuntime*> g_shared{new SharedRuntime};
std::atomic<std::uint64_t> g_fork_generation{0};
// The runtime and context that the calling thread serves, when it is a
// runtime worker (the runtime too: a thread that a fork() carried into a
// child with a runtime of its own serves nothing there).
thread_local const Runtime* t_worker_runtime = nullptr;
thread_local asio::io_context* t_worker_context = nullptr;
// The worker dealt to a thread outside the runtime, once it asked.
constexpr std::size_t kNotDealt = static_cast<std::size_t>(-1);
thread_local std::size_t t_dealt_worker = kNotDealt;

void after_fork_in_child() {
  g_fork_generation.fetch_add(1, std::memory_order_acq_rel);
  g_shared.store(new SharedRuntime, std::memory_order_release);
}

void stop_runtime_at_exit() {
  if (Runtime* runtime = g_shared.load(std::memory_order_acquire)->current.load(std::memory_order_acquire)) {
    runtime->stop_at_exit();
  }
}

}  // namespace

std::uint64_t fork_generation() noexcept { return g_fork_generation.load(std::memory_order_acquire); }

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

Runtime::Runtime(std::size_t workers) : workers_(workers) {
  contexts_.reserve(workers_);
  keep_running_.reserve(workers_);
  running_ = workers_;
  for (std::size_t i = 0; i < workers_; ++i) {
    // A hint of one thread: asio then keeps a worker's own hand-overs in
    // that worker's queue.
    auto& context = *contexts_.emplace_back(std::make_unique<asio::io_context>(1));
    keep_running_.emplace_back(context.get_executor());
    std::thread([this, &context] {
      t_worker_runtime = this;
      t_worker_context = &context;
      context.run();
      std::lock_guard lock(running_mutex_);
      if (--running_ == 0) all_left_.notify_all();
    }).detach();
  }
}

asio::any_io_executor Runtime::executor() {
  if (t_worker_runtime == this) return t_worker_context->get_executor();
  if (t_dealt_worker == kNotDealt) t_dealt_worker = next_.fetch_add(1, std::memory_order_relaxed);
  return contexts_[t_dealt_worker % contexts_.size()]->get_executor();
}

asio::any_io_executor Runtime::next_executor() {
  const std::size_t turn = next_connection_.fetch_add(1, std::memory_order_relaxed);
  return contexts_[turn % contexts_.size()]->get_executor();
}

Runtime& Runtime::shared() {
  SharedRuntime& shared = *g_shared.load(std::memory_order_acquire);
  if (Runtime* runtime = shared.current.load(std::memory_order_acquire)) return *runtime;
  std::lock_guard lock(shared.creating);
  if (Runtime* runtime = shared.current.load(std::memory_order_acquire)) return *runtime;
  static const bool hooks_installed = [] {
    // Registered once per process image; a forked child inherits both.
    platform::on_fork_in_child(&after_fork_in_child);
    platform::on_exit(&stop_runtime_at_exit);
    return true;
  }();
  (void)hooks_installed;
  // Never destroyed: workers may still be running when the process exits.
  auto* runtime = new Runtime(runtime_worker_count());
  shared.current.store(runtime, std::memory_order_release);
  return *runtime;
}

void Runtime::stop_at_exit() {
  for (auto& context : contexts_) context->stop();
  std::unique_lock lock(running_mutex_);
  const std::size_t self = t_worker_runtime == this ? 1 : 0;
  all_left_.wait_for(lock, kExitWait, [&] { return running_ <= self; });
}

void TaskHandle::cancel() const {
  if (!state_) return;
  asio::post(state_->strand, [state = state_] { state->signal.emit(asio::cancellation_type::terminal); });
}

}  // namespace revizer::client
