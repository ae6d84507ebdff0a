#pragma once

// One unary gRPC call as the channel and the HTTP/2 connection see it: the
// request (headers and the framed message), what has arrived of the answer,
// and the completion that hands the outcome back to the awaiting caller.
// It lives on the channel's strand; the connection keeps it alive while its
// stream is open, even after the caller has given up on it. Its deadline is
// kept by the channel (DeadlineList), not by a timer of its own.

#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <atomic>
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
  // inside the HTTP/2 library's callbacks or inside the call's own start).
  void complete(CallOutcome outcome) {
    if (auto impl = std::move(impl_)) impl->complete(std::move(outcome), false);
  }
  // Hands the outcome over on this thread when the handler's executor
  // allows it (an idle strand of the runtime we run on), else posts it.
  // Only for places where the caller's code may run re-entrantly.
  void complete_here(CallOutcome outcome) {
    if (auto impl = std::move(impl_)) impl->complete(std::move(outcome), true);
  }

 private:
  struct Base {
    virtual ~Base() = default;
    virtual void complete(CallOutcome outcome, bool here) = 0;
  };
  template <class Handler, class Executor>
  struct Impl final : Base {
    Impl(Handler h, const Executor& fallback)
        : handler(std::move(h)), work(asio::make_work_guard(asio::get_associated_executor(handler, fallback))) {}
    void complete(CallOutcome outcome, bool here) override {
      auto executor = work.get_executor();
      auto deliver = [handler = std::move(handler), outcome = std::move(outcome)]() mutable {
        // Cancellation of this call can no longer reach it: the slot belongs
        // to the caller, whose executor this runs on.
        asio::get_associated_cancellation_slot(handler).clear();
        std::move(handler)(std::move(outcome));
      };
      if (here) {
        asio::dispatch(executor, std::move(deliver));
      } else {
        asio::post(executor, std::move(deliver));
      }
      work.reset();
    }
    Handler handler;
    asio::executor_work_guard<asio::associated_executor_t<Handler, Executor>> work;
  };
  std::unique_ptr<Base> impl_;
};

class Http2Connection;
class DeadlineList;
struct UnaryCall;

// A call's place in its channel's list of deadlines: intrusive, so that a
// call leaves the list in constant time, with no allocation, when it ends.
struct DeadlineLink {
  UnaryCall* prev = nullptr;
  UnaryCall* next = nullptr;
  DeadlineList* list = nullptr;
};

struct UnaryCallRequest {
  std::string path;                 // "/package.Service/Method"
  common::RequestMetadata metadata;  // the interceptor's headers, among others
  std::string framed_message;        // 5-byte prefix, then the message
  // The deadline when none is given: this long from the call into the
  // channel (`Channel::async_call`).
  std::chrono::nanoseconds timeout{};
  // The deadline on the steady clock, when the caller fixed it (a Python
  // call's counts from that call). Either way "grpc-timeout" sends the time
  // left when the request is sent.
  std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt;
};

struct UnaryCall : std::enable_shared_from_this<UnaryCall> {
  using Clock = std::chrono::steady_clock;

  explicit UnaryCall(UnaryCallRequest r) : request(std::move(r)) {}
  ~UnaryCall();
  UnaryCall(const UnaryCall&) = delete;
  UnaryCall& operator=(const UnaryCall&) = delete;

  UnaryCallRequest request;
  std::size_t body_sent = 0;

  // The answer so far.
  int http_status = 0;
  std::optional<int> grpc_status;
  std::string grpc_message;  // still percent-encoded
  std::optional<std::string> content_type;  // of the response headers
  bool head_read = false;    // the response head has ended (informational ones skipped)
  bool grpc_body = false;    // the head says the answer is gRPC: its DATA are messages
  std::string data;          // prefix and message bytes, up to the first message's end
  std::optional<common::GrpcStatus> failure;  // set when the answer was refused while arriving
  bool answer_began = false;  // a header frame of the answer arrived: the server processed the request

  // Where the call is.
  Clock::time_point deadline{};  // fixed when the channel takes the call
  bool deadline_armed = false;
  DeadlineLink deadline_link;
  std::weak_ptr<Http2Connection> connection;
  std::int32_t stream_id = -1;
  std::uint64_t reads_at_send = 0;  // the connection's read count when the stream opened
  bool finished = false;  // outcome delivered, or the caller gave up
  // Set by the caller's cancellation, on its thread, before the channel's
  // strand takes the cancellation up.
  std::atomic<bool> cancel_requested{false};
  int resends = 0;        // times its stream was refused unprocessed and the call sent again
  CallCompletion completion;

  // Forgets the stream the server refused, and what arrived on it, so that
  // the call can be sent again; its deadline and its place among the
  // channel's deadlines stay.
  void prepare_resend();

  // The time left until the deadline at `now`, as "grpc-timeout" sends it:
  // rounded up to the millisecond (so that calls with the same timeout
  // mostly send the same value, which HPACK then indexes), never negative.
  // A call whose deadline is not fixed yet (one sent without a channel)
  // counts from the request's own deadline or timeout.
  std::chrono::nanoseconds time_left(Clock::time_point now) const;

  // Delivers the outcome (posted to the caller) and leaves the deadline list.
  void finish(CallOutcome outcome) { finish(std::move(outcome), false); }
  // The same, handing the outcome over on this thread when the caller's
  // executor allows it: only where the caller's code may run re-entrantly.
  void finish_here(CallOutcome outcome) { finish(std::move(outcome), true); }

 private:
  void finish(CallOutcome outcome, bool here);
};

}  // namespace revizer::client
