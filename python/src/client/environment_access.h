#pragma once

// Work of a runtime task that reads or sets the process environment
// (loading the configuration, reading the adjudication timeout) while Python
// code may change os.environ on other threads. It runs on the interpreter
// thread, attached, so that it never overlaps a change made by Python code
// (which holds the interpreter while it makes it); the task waits for it
// without holding a thread. Once the interpreter exits it runs unattached:
// no Python code changes the environment any more, and nothing may attach.

#include <asio/any_io_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "python/src/client/interpreter_thread.h"

namespace revizer::python {

namespace detail {

// Runs the work, then resumes the waiting task on its own executor.
template <class F, class Handler, class T>
class EnvironmentJob final : public InterpreterJob {
 public:
  EnvironmentJob(F work, Handler handler, asio::any_io_executor home)
      : work_(std::move(work)), handler_(std::move(handler)), home_(asio::make_work_guard(std::move(home))) {}

  void run(bool) noexcept override {
    std::optional<T> value(work_());
    asio::post(home_.get_executor(), [handler = std::move(handler_), value = std::move(value)]() mutable {
      std::move(handler)(std::move(value));
    });
  }

 private:
  F work_;
  Handler handler_;
  asio::executor_work_guard<asio::any_io_executor> home_;
};

}  // namespace detail

// `work` must not throw.
template <class F, class T = std::invoke_result_t<F&>>
asio::awaitable<T> with_environment(F work) {
  asio::any_io_executor home = co_await asio::this_coro::executor;
  auto initiate = [home](auto handler, F work) {
    using Job = detail::EnvironmentJob<F, decltype(handler), T>;
    run_on_interpreter_thread(std::make_unique<Job>(std::move(work), std::move(handler), home));
  };
  // Named, not temporaries beside co_await (GCC 12 frees those too early).
  std::optional<T> value = co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::optional<T>)>(
      initiate, asio::use_awaitable, std::move(work));
  co_return std::move(*value);
}

}  // namespace revizer::python
