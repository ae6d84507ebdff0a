#pragma once

// The channel of one connected client: a bounded queue of calls (1024) in
// front of one HTTP/2 connection, and one worker task that takes calls from
// the queue and opens their streams, opening a new connection first when
// the last one was lost or told to go away (a new tunnel through a proxy).
// Each call has its own deadline (kept in one list behind one timer); the
// awaiting caller's cancellation resets its stream. Everything of the
// channel runs on its strand. A call enters the strand by dispatch: when
// the strand is free, the caller's own worker opens the stream at once,
// without a hand-over to another thread.

#include <asio/any_io_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/associated_cancellation_slot.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <cstddef>
#include <deque>
#include <memory>

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

  Channel(asio::any_io_executor executor, Connector connector);
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Opens the first connection (TCP or tunnel, TLS, HTTP/2 preface), then
  // starts the queue's worker. Called once, before any call.
  asio::awaitable<Status<TransportFailure>> connect();

  // One unary call; completes with the answer message or a status. The
  // deadline ("Timeout expired", CANCELLED) is `request.timeout` from now.
  template <class Token>
  auto async_call(UnaryCallRequest request, Token&& token) {
    return asio::async_initiate<Token, void(CallOutcome)>(
        [self = shared_from_this()](auto handler, UnaryCallRequest request) {
          auto slot = asio::get_associated_cancellation_slot(handler);
          auto call = std::make_shared<UnaryCall>(std::move(request));
          if (slot.is_connected()) {
            slot.assign([self, weak = std::weak_ptr<UnaryCall>(call)](asio::cancellation_type) {
              asio::post(self->strand_, [self, weak] {
                if (auto call = weak.lock()) self->abandon(call, "Call cancelled");
              });
            });
          }
          call->completion = CallCompletion(std::move(handler), self->strand_);
          asio::dispatch(self->strand_, [self, call = std::move(call)]() mutable { self->start(std::move(call)); });
        },
        token, std::move(request));
  }

  // Ends the worker and the connection; calls still queued fail.
  void close();

  const Strand& strand() const { return strand_; }
  // The worker context the channel runs on.
  asio::any_io_executor executor() const { return strand_.get_inner_executor(); }

 private:
  asio::awaitable<Status<TransportFailure>> connect_on_strand();
  void start(std::shared_ptr<UnaryCall> call);
  void abandon(const std::shared_ptr<UnaryCall>& call, const char* message);
  void track_deadline(UnaryCall& call);
  void arm_deadline_timer();
  void on_deadline_timer();
  asio::awaitable<void> worker(std::shared_ptr<Channel> self);
  asio::awaitable<bool> ensure_connection(UnaryCall& call);
  void wake_worker();

  Strand strand_;
  Connector connector_;
  std::shared_ptr<Http2Connection> connection_;
  std::deque<std::shared_ptr<UnaryCall>> queue_;    // at most kChannelQueueCapacity
  std::deque<std::shared_ptr<UnaryCall>> waiting_;  // callers waiting for room in the queue
  DeadlineList deadlines_;
  asio::steady_timer deadline_timer_;
  bool deadline_timer_waiting_ = false;
  asio::steady_timer::time_point deadline_timer_at_{};
  asio::steady_timer worker_wake_;
  bool worker_waiting_ = false;
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
