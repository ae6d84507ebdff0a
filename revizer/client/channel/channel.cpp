#include "revizer/client/channel/channel.h"

#include <algorithm>

#include "revizer/client/http2/grpc_protocol.h"
#include "schema/wire/message_limits.h"

namespace revizer::client {
namespace {

constexpr const char* kClosedText = "the channel is closed";

// The status of calls that a failed attempt fails: its text, and as the
// source the innermost cause (the system's or TLS's own text) when the
// failure has one beneath its own description.
common::GrpcStatus failed_attempt_status(const TransportFailure& failure) {
  common::GrpcStatus status = grpc_status(GrpcCode::Unavailable, failure.text());
  if (failure.causes.size() >= 2) status.source = failure.causes.back();
  return status;
}

}  // namespace

Channel::Channel(asio::any_io_executor executor, Connector connector)
    : strand_(asio::make_strand(std::move(executor))),
      connector_(std::make_shared<const Connector>(std::move(connector))),
      deadline_timer_(strand_) {}

// --- connections -------------------------------------------------------

void Channel::start_first_connect(Report report) {
  if (closed_) {
    report(fail(TransportFailure{{kClosedText}}));
    return;
  }
  first_connect_ = std::move(report);
  start_attempt();
}

void Channel::cancel_first_connect() {
  if (!first_connect_) return;
  if (attempt_) attempt_->abandon();
  attempt_.reset();
  auto report = std::move(first_connect_);
  first_connect_ = nullptr;
  report(fail(TransportFailure{{"the connect was cancelled"}}));
}

void Channel::start_attempt() {
  attempt_ = ConnectAttempt::start(strand_, connector_, [weak = weak_from_this()](ConnectAttempt::Opened opened) {
    if (auto self = weak.lock()) {
      self->attempt_done(std::move(opened));
    } else if (opened) {
      (*opened)->close(kClosedText);
    }
  });
}

void Channel::attempt_done(ConnectAttempt::Opened opened) {
  attempt_.reset();
  if (closed_) {
    if (opened) (*opened)->close(kClosedText);
    return;
  }
  if (opened) {
    backoff_.reset();
    backing_off_ = false;
    connection_ = std::move(*opened);
    // Called on the strand when a stream may have become free and once when
    // the connection ends: both are a turn of the pump.
    connection_->set_on_change([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->pump();
    });
    connection_->set_on_unprocessed([weak = weak_from_this()](Http2Connection::Unprocessed calls) {
      if (auto self = weak.lock()) {
        self->resend(std::move(calls));
      } else {
        for (auto& call : calls) call->finish(fail(grpc_status(GrpcCode::Unavailable, kClosedText)));
      }
    });
    if (first_connect_) {
      auto report = std::move(first_connect_);
      first_connect_ = nullptr;
      report(Ok{});
    }
    pump();
    return;
  }
  last_failure_ = failed_attempt_status(opened.error());
  if (first_connect_) {
    auto report = std::move(first_connect_);
    first_connect_ = nullptr;
    report(fail(std::move(opened).error()));
    return;
  }
  backing_off_ = true;
  backoff_until_ = asio::steady_timer::clock_type::now() + backoff_.next();
  fail_waiting(last_failure_);
}

bool Channel::in_backoff() {
  if (backing_off_ && asio::steady_timer::clock_type::now() >= backoff_until_) backing_off_ = false;
  return backing_off_;
}

void Channel::close() {
  asio::post(strand_, [self = shared_from_this()] {
    if (self->closed_) return;
    self->closed_ = true;
    if (self->attempt_) self->attempt_->abandon();
    self->attempt_.reset();
    if (self->first_connect_) {
      auto report = std::move(self->first_connect_);
      self->first_connect_ = nullptr;
      report(fail(TransportFailure{{kClosedText}}));
    }
    self->fail_waiting(grpc_status(GrpcCode::Unavailable, kClosedText));
    if (self->connection_) self->connection_->close(kClosedText);
    self->connection_.reset();
    self->deadline_timer_.cancel();
  });
}

// --- calls -------------------------------------------------------------

void Channel::start(std::shared_ptr<UnaryCall> call) {
  if (call->finished) return;
  if (closed_) {
    call->finish(fail(grpc_status(GrpcCode::Unknown, std::string("Service was not ready: ") + kClosedText)));
    return;
  }
  const std::size_t length = call->request.framed_message.size() - std::min(call->request.framed_message.size(), kMessagePrefixBytes);
  if (length > wire::kMaxMessageBytes) {
    call->finish(fail(wire::encoded_message_too_large(length, wire::kMaxMessageBytes)));
    return;
  }
  track_deadline(*call);
  if (in_backoff()) {
    // As the gRPC library does for calls that do not wait for a connection.
    call->finish(fail(last_failure_));
    return;
  }
  if (queue_.empty() && waiting_.empty() && connection_ && connection_->can_open_stream()) {
    // Nothing waits ahead of this call: open its stream now rather than
    // through a turn of the pump.
    connection_->submit(call);
    return;
  }
  (queue_.size() < kChannelQueueCapacity ? queue_ : waiting_).push_back(std::move(call));
  pump();
}

UnaryCall* Channel::front_waiting() {
  for (;;) {
    while (queue_.size() < kChannelQueueCapacity && !waiting_.empty()) {
      queue_.push_back(std::move(waiting_.front()));
      waiting_.pop_front();
    }
    if (queue_.empty()) return nullptr;
    UnaryCall& front = *queue_.front();
    // Its cancellation is on its way to the strand: end it now rather than
    // open a stream that the cancellation would reset at once. Calls are
    // often cancelled together, and the streams their resets free would
    // otherwise each go to a call about to be cancelled too.
    if (!front.finished && front.cancel_requested.load(std::memory_order_relaxed)) abandon(front, "Call cancelled", false);
    if (!front.finished) return &front;
    queue_.pop_front();
  }
}

void Channel::pump() {
  if (closed_) return;
  // submit() may report a change of the connection, or hand a call back, on
  // the way: one turn at a time, and another after it when one was asked for.
  if (pumping_) {
    pump_again_ = true;
    return;
  }
  pumping_ = true;
  do {
    pump_again_ = false;
    pump_once();
  } while (pump_again_ && !closed_);
  pumping_ = false;
}

void Channel::pump_once() {
  for (;;) {
    // Lost, or told to go away, maybe by the submit just made: the calls
    // still waiting go to a new connection.
    if (connection_ && !connection_->usable()) connection_.reset();
    if (!front_waiting()) break;
    if (connection_ && connection_->can_open_stream()) {
      std::shared_ptr<UnaryCall> call = std::move(queue_.front());
      queue_.pop_front();
      connection_->submit(call);
      continue;
    }
    if (!connection_ && !attempt_) {
      if (in_backoff()) {
        fail_waiting(last_failure_);
      } else {
        start_attempt();
      }
    }
    break;
  }
}

void Channel::resend(Http2Connection::Unprocessed calls) {
  // In reverse, so that they keep the order they were sent in. The queue
  // keeps its bound: what it holds beyond goes back to the front of the
  // callers waiting behind it.
  for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
    auto& call = *it;
    if (call->finished) continue;
    if (closed_) {
      call->finish(fail(grpc_status(GrpcCode::Unavailable, kClosedText)));
      continue;
    }
    queue_.push_front(std::move(call));
    if (queue_.size() > kChannelQueueCapacity) {
      waiting_.push_front(std::move(queue_.back()));
      queue_.pop_back();
    }
  }
  pump();
}

void Channel::fail_waiting(const common::GrpcStatus& status) {
  for (auto* calls : {&queue_, &waiting_}) {
    for (auto& call : *calls) call->finish(fail(status));
    calls->clear();
  }
}

void Channel::abandon(UnaryCall& call, const char* message, bool timed_out) {
  if (call.finished) return;
  call.finish(fail(grpc_status(GrpcCode::Cancelled, message)));
  // A waiting call stays where it is until the pump passes it.
  if (auto connection = call.connection.lock()) connection->reset(call, timed_out);
}

// --- deadlines ---------------------------------------------------------

void Channel::track_deadline(UnaryCall& call) {
  // Fixed by the caller (a Python call's counts from that call), or at the
  // call into the channel (async_call).
  call.deadline = call.request.deadline
                      ? *call.request.deadline
                      : UnaryCall::Clock::now() + std::chrono::duration_cast<UnaryCall::Clock::duration>(call.request.timeout);
  call.deadline_armed = true;
  deadlines_.insert(call);
  if (deadlines_.front() == &call) arm_deadline_timer();
}

void Channel::arm_deadline_timer() {
  const UnaryCall* first = deadlines_.front();
  if (!first || closed_) return;
  // A wait that ends no later than the front serves: at worst it wakes
  // early (its call ended meanwhile) and arms again for the new front.
  if (deadline_timer_waiting_ && deadline_timer_at_ <= first->deadline) return;
  deadline_timer_waiting_ = true;
  deadline_timer_at_ = first->deadline;
  deadline_timer_.expires_at(first->deadline);  // cancels a later wait
  // A wait ends early only when cancelled (`ec` is then operation_aborted;
  // tested as a flag, since a cancelled wait may end while the process
  // exits and its error categories are gone).
  deadline_timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
    if (!ec) self->on_deadline_timer();
  });
}

void Channel::on_deadline_timer() {
  deadline_timer_waiting_ = false;
  const auto now = UnaryCall::Clock::now();
  while (UnaryCall* first = deadlines_.front()) {
    if (first->deadline > now) break;
    deadlines_.remove(*first);
    abandon(*first, "Timeout expired", true);
  }
  arm_deadline_timer();
  pump();  // lets go of the calls that ended at the front
}

}  // namespace revizer::client
