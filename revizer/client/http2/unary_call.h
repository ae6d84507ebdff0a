#pragma once

// One unary gRPC call as the channel and the HTTP/2 connection see it: the
// request (headers and the framed message), what has arrived of the answer,
// and the completion that hands the outcome back to the awaiting caller.
// It lives on the channel's strand; the connection keeps it alive while its
// stream is open, even after the caller has given up on it.

#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/auth/grpc_status.h"
#include "common/auth/request_metadata.h"
#include "support/result.h"

namespace revizer::client {

// The answer message (without its prefix), or the status the call ended with.
using CallOutcome = Result<std::string, common::GrpcStatus>;

// The caller's handler, type-erased, invoked once on its own executor.
class CallCompletion {
 public:
  CallCompletion() = default;
  template <class Handler, class Executor>
  CallCompletion(Handler handler, const Executor& fallback)
      : impl_(std::make_unique<Impl<Handler, Executor>>(std::move(handler), fallback)) {}

  explicit operator bool() const { return impl_ != nullptr; }
  // Posts the outcome to the handler's executor (never inline: this may run
  // inside the HTTP/2 library's callbacks).
  void complete(CallOutcome outcome) {
    if (auto impl = std::move(impl_)) impl->complete(std::move(outcome));
  }

 private:
  struct Base {
    virtual ~Base() = default;
    virtual void complete(CallOutcome outcome) = 0;
  };
  template <class Handler, class Executor>
  struct Impl final : Base {
    Impl(Handler h, const Executor& fallback)
        : handler(std::move(h)), work(asio::make_work_guard(asio::get_associated_executor(handler, fallback))) {}
    void complete(CallOutcome outcome) override {
      auto executor = work.get_executor();
      asio::post(executor, [handler = std::move(handler), outcome = std::move(outcome)]() mutable {
        // Cancellation of this call can no longer reach it: the slot belongs
        // to the caller, whose executor this runs on.
        asio::get_associated_cancellation_slot(handler).clear();
        std::move(handler)(std::move(outcome));
      });
      work.reset();
    }
    Handler handler;
    asio::executor_work_guard<asio::associated_executor_t<Handler, Executor>> work;
  };
  std::unique_ptr<Base> impl_;
};

class Http2Connection;

struct UnaryCallRequest {
  std::string path;                 // "/package.Service/Method"
  common::RequestMetadata metadata;  // the interceptor's headers, among others
  std::string framed_message;        // 5-byte prefix, then the message
  std::chrono::nanoseconds timeout;  // sent as "grpc-timeout", also the deadline
};

struct UnaryCall {
  UnaryCall(UnaryCallRequest r, asio::steady_timer timer) : request(std::move(r)), deadline(std::move(timer)) {}

  UnaryCallRequest request;
  std::size_t body_sent = 0;

  // The answer so far.
  int http_status = 0;
  std::optional<int> grpc_status;
  std::string grpc_message;  // still percent-encoded
  std::string data;          // prefix and message bytes, up to the first message's end
  std::optional<common::GrpcStatus> failure;  // set when the answer was refused while arriving

  // Where the call is.
  asio::steady_timer deadline;
  std::weak_ptr<Http2Connection> connection;
  std::int32_t stream_id = -1;
  bool finished = false;  // outcome delivered, or the caller gave up
  CallCompletion completion;

  void finish(CallOutcome outcome) {
    if (finished) return;
    finished = true;
    deadline.cancel();
    completion.complete(std::move(outcome));
  }
};

}  // namespace revizer::client
