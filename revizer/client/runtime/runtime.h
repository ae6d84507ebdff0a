#pragma once

// The process-wide task runtime: worker threads (one per processor unless
// TAVIMOR_RUNTIME_WORKER_THREADS says otherwise), each serving an io_context
// of its own, and a small pool of threads for identity-token fetches, the
// only work of the runtime that blocks (token_fetch_pool.h). Name lookups
// run on asio's own resolver threads. Nothing of the runtime takes the
// interpreter lock: the Python layer hands results back on a thread of its
// own. Made on first use and never torn down while the process runs.
//
// Why a context per worker rather than one shared by all: work that stays
// on one worker (a connection, the calls spawned next to it) then runs
// without locks handed between threads or idle workers woken for it; with
// one shared context every I/O event and every hand-over woke another
// worker. So new work stays together: work spawned on a worker stays there,
// and work from a thread outside the runtime goes to the worker dealt to
// that thread (in turn, on its first use). Work that names another executor
// goes there. Connections are dealt apart: each gets the next worker in turn
// (`next_executor`), and the calls of a client are spawned on its
// connection's worker, so one event loop's clients use several workers.
//
// Two process events need care. A child made by fork() has none of the
// parent's threads: its first use makes a new runtime, and objects tied to
// the parent's runtime (connected clients) tell by `fork_generation()` that
// they may not be used there. At exit the workers are stopped before the
// process's exit handlers run, so none of them runs inside a library that
// those handlers tear down (OpenSSL's clean-up, static destructors).

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/this_coro.hpp>
#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <future>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "revizer/client/runtime/blocking_pool.h"
#include "revizer/client/runtime/token_fetch_pool.h"

namespace revizer::client {

inline constexpr const char* kWorkerThreadsVariable = "TAVIMOR_RUNTIME_WORKER_THREADS";

// The worker count: the variable when it holds a positive number, else one
// per processor (at least one).
std::size_t runtime_worker_count();

// 0 in the process that loaded the library; one more in each child that
// fork() made since.
std::uint64_t fork_generation() noexcept;

class Runtime {
 public:
  // The runtime of this process (a new one in a forked child).
  static Runtime& shared();

  // Where new work goes: on a worker, that worker's own context; on another
  // thread, the context of the worker dealt to that thread.
  asio::any_io_executor executor();
  // A worker's context dealt in turn to each caller, wherever it runs: each
  // connection gets one, so that the clients of one thread (one event loop)
  // spread over the workers rather than all share that thread's worker.
  asio::any_io_executor next_executor();
  // Identity-token fetches only (token_fetch_pool.h).
  BlockingPool& token_fetch_pool() { return token_fetches_; }
  std::size_t worker_count() const { return workers_; }

  // Stops the workers at process exit: each finishes the handler it runs and
  // leaves. Waits a bounded time for them; a worker that calls exit() itself
  // is not waited for.
  void stop_at_exit();

 private:
  explicit Runtime(std::size_t workers);
  ~Runtime() = delete;  // lives until the process ends

  using WorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

  std::vector<std::unique_ptr<asio::io_context>> contexts_;  // one per worker
  // Never reset: each worker serves its context for the life of the process.
  std::vector<WorkGuard> keep_running_;
  std::atomic<std::size_t> next_{0};             // dealing workers to outside threads
  std::atomic<std::size_t> next_connection_{0};  // dealing workers to connections
  std::size_t workers_;
  BlockingPool token_fetches_{kTokenFetchThreads};
  std::mutex running_mutex_;
  std::condition_variable all_left_;
  std::size_t running_ = 0;
};

// One task on the runtime that can be dropped: `cancel` delivers terminal
// cancellation to whatever the task is awaiting (a call resets its stream)
// and the task then ends without reporting. The task runs on its own strand;
// cancellation is delivered there, never on the caller's thread.
class TaskHandle {
 public:
  TaskHandle() = default;
  void cancel() const;
  explicit operator bool() const { return state_ != nullptr; }

  struct State {
    explicit State(asio::any_io_executor executor) : strand(asio::make_strand(std::move(executor))) {}
    asio::strand<asio::any_io_executor> strand;
    asio::cancellation_signal signal;
  };
  explicit TaskHandle(std::shared_ptr<State> state) : state_(std::move(state)) {}

 private:
  std::shared_ptr<State> state_;
};

// Spawns `work` on `executor`; `done` receives its value unless the task was
// cancelled first. An exception that escapes `work` goes to `failed` (when
// given) instead, so that whoever waits for the task learns that it ended.
// Both run on the task's strand.
template <class T>
TaskHandle spawn_task(asio::any_io_executor executor, asio::awaitable<T> work, std::function<void(T)> done,
                      std::function<void(std::exception_ptr)> failed = nullptr) {
  auto state = std::make_shared<TaskHandle::State>(std::move(executor));
  asio::co_spawn(
      state->strand,
      [](asio::awaitable<T> work, std::function<void(T)> done,
         std::shared_ptr<TaskHandle::State> state) -> asio::awaitable<void> {
        // A dropped task finishes its current step and looks at its
        // cancellation state itself; nothing throws.
        co_await asio::this_coro::throw_if_cancelled(false);
        T value = co_await std::move(work);
        const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
        if (cancellation.cancelled() == asio::cancellation_type::none) {
          done(std::move(value));
        }
        (void)state;
      }(std::move(work), std::move(done), state),
      asio::bind_cancellation_slot(state->signal.slot(), [state, failed = std::move(failed)](std::exception_ptr error) {
        if (error && failed) failed(error);
      }));
  return TaskHandle(std::move(state));
}

// Drives `work` on `executor` (a runtime worker's) and blocks the calling
// thread (which must not be a runtime worker) until it has finished.
template <class T>
T block_on(asio::any_io_executor executor, asio::awaitable<T> work) {
  std::promise<T> promise;
  auto future = promise.get_future();
  spawn_task<T>(
      std::move(executor), std::move(work), [&promise](T value) { promise.set_value(std::move(value)); },
      [&promise](std::exception_ptr error) { promise.set_exception(std::move(error)); });
  return future.get();
}

template <class T>
T block_on(Runtime& runtime, asio::awaitable<T> work) {
  return block_on(runtime.executor(), std::move(work));
}

}  // namespace revizer::client
