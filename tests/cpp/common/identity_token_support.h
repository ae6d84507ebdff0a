#pragma once

// Fixtures for the identity-token tests: a token source whose clock, answers
// and fetch threads the test controls (a fetch can be held until released),
// and a runner that drives the interceptor's header step as concurrent calls
// do, each on a strand of its own over a few threads.

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/strand.hpp>
#include <asio/this_coro.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/auth/auth_interceptor.h"

namespace revizer::common::testing {

using Clock = std::chrono::steady_clock;

class FakeTokenSource {
 public:
  FakeTokenSource() = default;
  FakeTokenSource(const FakeTokenSource&) = delete;
  FakeTokenSource& operator=(const FakeTokenSource&) = delete;
  ~FakeTokenSource() {
    release();
    std::vector<std::thread> threads;
    {
      std::lock_guard hold(mutex_);
      threads.swap(threads_);
    }
    for (std::thread& thread : threads) thread.join();
  }

  // Answers in order; a fetch past the last one gets "no answer left".
  void answer(Result<std::string, std::string> next) {
    std::lock_guard hold(mutex_);
    answers_.push_back(std::move(next));
  }
  // Fetches wait (after counting themselves) until `release`.
  void hold() {
    std::lock_guard hold(mutex_);
    held_ = true;
  }
  void release() {
    {
      std::lock_guard hold(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  // Waits a bounded time until `count` fetches have begun.
  bool wait_for_fetches(int count) {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, std::chrono::seconds(10), [&] { return fetches_ >= count; });
  }

  void advance(std::chrono::nanoseconds by) { now_ += by.count(); }
  int fetches() {
    std::lock_guard hold(mutex_);
    return fetches_;
  }
  int launches() const { return launches_; }
  std::vector<std::string> audiences() {
    std::lock_guard hold(mutex_);
    return audiences_;
  }

  IdentityTokenSource source() {
    return {[this](const std::string& audience) { return fetch(audience); },
            [this] { return Clock::time_point(Clock::duration(now_.load())); },
            [this](std::function<void()> job) {
              ++launches_;
              std::lock_guard hold(mutex_);
              threads_.emplace_back(std::move(job));
            }};
  }

 private:
  Result<std::string, std::string> fetch(const std::string& audience) {
    std::unique_lock hold(mutex_);
    ++fetches_;
    audiences_.push_back(audience);
    changed_.notify_all();
    changed_.wait(hold, [&] { return !held_; });
    if (answers_.empty()) return fail(std::string("no answer left"));
    auto next = std::move(answers_.front());
    answers_.pop_front();
    return next;
  }

  std::atomic<Clock::rep> now_{std::chrono::duration_cast<Clock::duration>(std::chrono::hours(1)).count()};
  std::atomic<int> launches_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Result<std::string, std::string>> answers_;
  std::vector<std::string> audiences_;
  std::vector<std::thread> threads_;
  bool held_ = false;
  int fetches_ = 0;
};

// What one header step gave: the "authorization" value, or the status as
// `failed` writes it.
using StepOutcome = std::string;

inline StepOutcome failed(const GrpcStatus& status) {
  return "status " + std::to_string(static_cast<int>(status.code)) + ": " + status.message;
}

inline std::string metadata_value(const RequestMetadata& metadata, std::string_view key) {
  for (const auto& entry : metadata) {
    if (entry.key == key) return std::string(entry.value.view());
  }
  return "<absent>";
}

class CallRunner {
 public:
  explicit CallRunner(int threads = 4) : work_(context_.get_executor()) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { context_.run(); });
  }
  ~CallRunner() {
    work_.reset();
    context_.stop();
    for (std::thread& thread : threads_) thread.join();
  }
  CallRunner(const CallRunner&) = delete;
  CallRunner& operator=(const CallRunner&) = delete;

  // A way to cancel one call, on that call's strand.
  struct Cancel {
    asio::cancellation_signal signal;
    std::optional<asio::strand<asio::io_context::executor_type>> strand;
  };

  // The header step of one call with the given deadline; `cancel`, when
  // given, can end it early.
  std::future<StepOutcome> call(const AuthInterceptor& interceptor, Clock::time_point deadline,
                                Cancel* cancel = nullptr) {
    auto promise = std::make_shared<std::promise<StepOutcome>>();
    auto future = promise->get_future();
    auto step = [](AuthInterceptor interceptor, Clock::time_point deadline,
                   std::shared_ptr<std::promise<StepOutcome>> promise) -> asio::awaitable<void> {
      co_await asio::this_coro::throw_if_cancelled(false);
      RequestMetadata metadata;
      Status<GrpcStatus> done = co_await interceptor.call(metadata, deadline);
      if (done) {
        promise->set_value(metadata_value(metadata, "authorization"));
      } else {
        promise->set_value(failed(done.error()));
      }
    };
    auto strand = asio::make_strand(context_);
    if (cancel) {
      cancel->strand = strand;
      asio::co_spawn(strand, step(interceptor, deadline, promise),
                     asio::bind_cancellation_slot(cancel->signal.slot(), [](std::exception_ptr) {}));
    } else {
      asio::co_spawn(strand, step(interceptor, deadline, promise), [](std::exception_ptr) {});
    }
    return future;
  }

  // Emits terminal cancellation on the strand of a call made with `cancel`.
  void cancel(Cancel& cancel) {
    std::promise<void> emitted;
    asio::post(*cancel.strand, [&] {
      cancel.signal.emit(asio::cancellation_type::terminal);
      emitted.set_value();
    });
    emitted.get_future().wait();
  }

  asio::io_context& context() { return context_; }

 private:
  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  std::vector<std::thread> threads_;
};

// The outcome of `future`, or a status saying it did not come within 10 s.
inline StepOutcome outcome_of(std::future<StepOutcome>& future) {
  if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    return "no outcome within 10 s";
  }
  return future.get();
}

}  // namespace revizer::common::testing
