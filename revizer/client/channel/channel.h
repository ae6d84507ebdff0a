#pragma once

// The channel of one connected client: one HTTP/2 connection and the calls
// waiting for a stream on it. Everything of the channel runs on its strand;
// a call enters it by dispatch, so when the strand is free the caller's own
// worker opens the stream at once, without a hand-over to another thread.
//
// Calls wait in the channel while no stream can be opened: the connection
// is at the server's limit of concurrent streams, or a connection is being
// made. The first kChannelQueueCapacity of them are the queue; callers
// beyond it wait, unbounded, in a list behind it and move up as room
// appears. Each call has its own deadline (kept in one list behind one
// timer), and a call that ends while waiting (deadline, cancellation) is
// only marked finished and skipped when it reaches the front, so ending any
// call costs O(1).
//
// Connections follow the gRPC library's rules. After a lost connection the
// next call starts one attempt (one at a time); an attempt is bounded (20 s)
// and, when it fails, the channel backs off (1 s, growing to at most 120 s):
// the calls waiting for it and every call made during the backoff fail at
// once with UNAVAILABLE and the attempt's failure text, and the first call
// after the backoff starts a new attempt. Closing the channel abandons an
// attempt in progress and closes its socket.
//
// A call whose stream the server never processed (refused, or above a
// GOAWAY's last stream id) comes back from its connection and goes to the
// front of the queue: it is sent again on the same connection while that
// takes new streams, else on the next one, as long as its own deadline
// allows. Nothing else is sent again.

#include <asio/any_io_executor.hpp>
#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "revizer/client/channel/connect_attempt.h"
#include "revizer/client/channel/connect_backoff.h"
#include "revizer/client/http2/deadline_list.h"
#include "revizer/client/http2/http2_connection.h"
#include "revizer/client/http2/unary_call.h"
#include "revizer/client/transport/connector.h"
#include "revizer/client/transport/transport_failure.h"

namespace revizer::client {

inline constexpr std::size_t kChannelQueueCapacity = 1024;

class Channel : public std::enable_shared_from_this<Channel> {
 public:
  using Strand = Http2Connection::Strand;
  using Connected = Status<TransportFailure>;

  Channel(asio::any_io_executor executor, Connector connector);
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Opens the first connection (TCP or tunnel, TLS, HTTP/2 handshake).
  // Called once, before any call. Cancelling the awaiting operation abandons
  // the attempt at once and closes its socket.
  template <class Token>
  auto async_connect(Token&& token) {
    return asio::async_initiate<Token, void(Connected)>(
        [self = shared_from_this()](auto handler) {
          auto shared = std::make_shared<decltype(handler)>(std::move(handler));
          auto slot = asio::get_associated_cancellation_slot(*shared);
          if (slot.is_connected()) {
            slot.assign([self](asio::cancellation_type) {
              asio::post(self->strand_, [self] { self->cancel_first_connect(); });
            });
          }
          auto report = [shared, fallback = self->strand_](Connected outcome) {
            auto executor = asio::get_associated_executor(*shared, fallback);
            asio::post(executor, [shared, outcome = std::move(outcome)]() mutable {
              asio::get_associated_cancellation_slot(*shared).clear();
              std::move (*shared)(std::move(outcome));
            });
          };
          asio::dispatch(self->strand_, [self, report = std::move(report)]() mutable {
            self->start_first_connect(std::move(report));
          });
        },
        token);
  }
  asio::awaitable<Connected> connect() { return async_connect(asio::use_awaitable); }

  // One unary call; completes with the answer message or a status. The
  // deadline ("Timeout expired", CANCELLED) is `request.deadline`, or
  // `request.timeout` from now when the request has none.
  template <class Token>
  auto async_call(UnaryCallRequest request, Token&& token) {
    return asio::async_initiate<Token, void(CallOutcome)>(
        [self = shared_from_this()](auto handler, UnaryCallRequest request) {
          if (!request.deadline) {
            request.deadline = UnaryCall::Clock::now() +
                               std::chrono::duration_cast<UnaryCall::Clock::duration>(request.timeout);
          }
          auto slot = asio::get_associated_cancellation_slot(handler);
          auto call = std::make_shared<UnaryCall>(std::move(request));
          if (slot.is_connected()) {
            slot.assign([self, weak = std::weak_ptr<UnaryCall>(call)](asio::cancellation_type) {
              if (auto call = weak.lock()) call->cancel_requested.store(true, std::memory_order_relaxed);
              asio::post(self->strand_, [self, weak] {
                if (auto call = weak.lock()) self->abandon(*call, "Call cancelled", false);
              });
            });
          }
          call->completion = CallCompletion(std::move(handler), self->strand_);
          asio::dispatch(self->strand_, [self, call = std::move(call)]() mutable { self->start(std::move(call)); });
        },
        token, std::move(request));
  }

  // Ends the connection, or abandons the attempt at one; calls still
  // waiting fail.
  void close();

  const Strand& strand() const { return strand_; }
  // The worker context the channel runs on.
  asio::any_io_executor executor() const { return strand_.get_inner_executor(); }

 private:
  using Report = std::function<void(Connected)>;

  void start_first_connect(Report report);
  void cancel_first_connect();
  void start_attempt();
  void attempt_done(ConnectAttempt::Opened opened);
  bool in_backoff();

  void start(std::shared_ptr<UnaryCall> call);
  void abandon(UnaryCall& call, const char* message, bool timed_out);
  // Opens streams for waiting calls while the connection allows, starting
  // an attempt when there is none to open them on.
  void pump();
  void pump_once();
  // Takes back calls their connection never had processed, to send again.
  void resend(Http2Connection::Unprocessed calls);
  UnaryCall* front_waiting();
  void fail_waiting(const common::GrpcStatus& status);

  void track_deadline(UnaryCall& call);
  void arm_deadline_timer();
  void on_deadline_timer();

  Strand strand_;
  std::shared_ptr<const Connector> connector_;
  std::shared_ptr<Http2Connection> connection_;
  std::shared_ptr<ConnectAttempt> attempt_;
  Report first_connect_;  // the caller of the first connect, while it waits
  ConnectBackoff backoff_;
  bool backing_off_ = false;
  asio::steady_timer::time_point backoff_until_{};
  common::GrpcStatus last_failure_{common::GrpcCode::Unavailable, {}};  // of the last failed attempt

  std::deque<std::shared_ptr<UnaryCall>> queue_;    // at most kChannelQueueCapacity, finished ones included
  std::deque<std::shared_ptr<UnaryCall>> waiting_;  // unbounded: callers waiting for room in the queue
  bool pumping_ = false;
  bool pump_again_ = false;  // a turn was asked for while pumping

  DeadlineList deadlines_;
  asio::steady_timer deadline_timer_;
  bool deadline_timer_waiting_ = false;
  asio::steady_timer::time_point deadline_timer_at_{};
  bool closed_ = false;
};

// The handle that calls hold: the channel closes when the last one goes.
class ChannelHandle {
 public:
  explicit ChannelHandle(std::shared_ptr<Channel> channel) : channel_(std::move(channel)) {}
  ~ChannelHandle() { channel_->close(); }
  ChannelHandle(const ChannelHandle&) = delete;
  ChannelHandle& operator=(const ChannelHandle&) = delete;

  Channel& channel() const { return *channel_; }

 private:
  std::shared_ptr<Channel> channel_;
};

}  // namespace revizer::client
