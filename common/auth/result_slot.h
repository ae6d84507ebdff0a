#pragma once

// A value that a thread outside the runtime hands to one waiting coroutine.
// The coroutine waits on its own executor, blocking no thread, until the
// value arrives, its deadline passes or it is cancelled, whichever comes
// first. The producer may finish long after the waiter has given up; its
// value is then dropped.
//
// The awaiting coroutine's executor must run one handler at a time (a strand
// or a context with one thread): the wake-up is posted there so that it never
// touches the waiter's timer while the coroutine does.

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/cancellation_state.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

#include "support/result.h"

namespace revizer::common {

// Why a wait ended without the value.
enum class WaitEnd { DeadlinePassed, Cancelled };

template <class T>
class ResultSlot : public std::enable_shared_from_this<ResultSlot<T>> {
 public:
  using Clock = std::chrono::steady_clock;

  // Any thread, once; a second value is dropped.
  void deliver(T value) {
    std::lock_guard hold(mutex_);
    if (value_) return;
    value_.emplace(std::move(value));
    if (executor_) asio::post(*executor_, [self = this->shared_from_this()] { self->wake(); });
  }

  // True once the waiter has left without the value: a producer that has not
  // started yet may skip its work.
  bool abandoned() const {
    std::lock_guard hold(mutex_);
    return abandoned_;
  }

  // Waits, once, for the value until `deadline` (Clock::time_point::max()
  // for none) or the cancellation of the awaiting coroutine.
  asio::awaitable<Result<T, WaitEnd>> wait(Clock::time_point deadline) {
    const asio::any_io_executor executor = co_await asio::this_coro::executor;
    asio::steady_timer timer(executor, deadline);
    if (std::optional<T> ready = take_or_watch(executor, timer)) co_return std::move(*ready);
    // Also when the frame is destroyed unresumed (its context going away):
    // a later delivery must not reach this timer.
    const Watching watching{*this};
    const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
    if (cancellation.cancelled() == asio::cancellation_type::none) {
      std::error_code woken;  // a deadline, a delivery or a cancellation: told apart below
      co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, woken));
    }
    if (std::optional<T> ready = take()) co_return std::move(*ready);
    co_return fail(Clock::now() >= deadline ? WaitEnd::DeadlinePassed : WaitEnd::Cancelled);
  }

 private:
  std::optional<T> take_or_watch(const asio::any_io_executor& executor, asio::steady_timer& timer) {
    std::lock_guard hold(mutex_);
    if (value_) return std::move(value_);
    executor_ = executor;
    timer_ = &timer;
    return std::nullopt;
  }

  std::optional<T> take() {
    std::lock_guard hold(mutex_);
    if (value_) return std::move(value_);
    return std::nullopt;
  }

  struct Watching {
    ResultSlot& slot;
    ~Watching() {
      std::lock_guard hold(slot.mutex_);
      slot.executor_.reset();
      slot.timer_ = nullptr;
      if (!slot.value_) slot.abandoned_ = true;
    }
  };

  // On the waiter's executor: a timer already expired ends the wait at once,
  // whether or not the wait has begun.
  void wake() {
    std::lock_guard hold(mutex_);
    if (timer_) timer_->expires_at(Clock::time_point::min());
  }

  mutable std::mutex mutex_;
  std::optional<T> value_;
  std::optional<asio::any_io_executor> executor_;  // set while a waiter watches
  asio::steady_timer* timer_ = nullptr;            // the waiter's, while it watches
  bool abandoned_ = false;
};

}  // namespace revizer::common
