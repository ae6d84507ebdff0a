#include "revizer/client/channel/channel.h"

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include "revizer/client/http2/grpc_protocol.h"
#include "schema/wire/message_limits.h"

namespace revizer::client {
namespace {

std::string authority_of(const ConnectTarget& target) {
  if (target.port) return target.host + ":" + std::to_string(*target.port);
  return target.host;
}

}  // namespace

Channel::Channel(asio::any_io_executor executor, Connector connector)
    : strand_(asio::make_strand(std::move(executor))),
      connector_(std::move(connector)),
      deadline_timer_(strand_),
      worker_wake_(strand_) {}

asio::awaitable<Status<TransportFailure>> Channel::connect() {
  // The channel's state is touched only on its strand.
  co_return co_await asio::co_spawn(strand_, connect_on_strand(), asio::use_awaitable);
}

asio::awaitable<Status<TransportFailure>> Channel::connect_on_strand() {
  auto transport = co_await connector_.connect();
  if (!transport) co_return fail(std::move(transport).error());
  connection_ = Http2Connection::start(strand_, std::move(*transport), authority_of(connector_.target()),
                                       connector_.target().scheme == "https" ? "https" : "http");
  asio::co_spawn(strand_, worker(shared_from_this()), asio::detached);
  co_return Ok{};
}

void Channel::start(std::shared_ptr<UnaryCall> call) {
  if (call->finished) return;
  if (closed_) {
    call->finish(fail(grpc_status(GrpcCode::Unknown, "Service was not ready: the channel is closed")));
    return;
  }
  const std::size_t length = call->request.framed_message.size() - std::min(call->request.framed_message.size(), kMessagePrefixBytes);
  if (length > wire::kMaxMessageBytes) {
    call->finish(fail(wire::encoded_message_too_large(length, wire::kMaxMessageBytes)));
    return;
  }
  track_deadline(*call);
  if (queue_.empty() && waiting_.empty() && connection_ && connection_->usable()) {
    // Nothing waits ahead of this call and the connection is up: open its
    // stream now rather than through a turn of the worker.
    connection_->submit(call);
    return;
  }
  (queue_.size() < kChannelQueueCapacity ? queue_ : waiting_).push_back(std::move(call));
  wake_worker();
}

void Channel::track_deadline(UnaryCall& call) {
  call.deadline = UnaryCall::Clock::now() + std::chrono::duration_cast<UnaryCall::Clock::duration>(call.request.timeout);
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
    // A linked call is held by the queue, its stream or the worker.
    abandon(first->shared_from_this(), "Timeout expired");
  }
  arm_deadline_timer();
}

void Channel::abandon(const std::shared_ptr<UnaryCall>& call, const char* message) {
  if (call->finished) return;
  call->finish(fail(grpc_status(GrpcCode::Cancelled, message)));
  if (auto connection = call->connection.lock()) {
    connection->reset(*call, std::string_view(message) == "Timeout expired");
  } else {
    std::erase(queue_, call);
    std::erase(waiting_, call);
  }
}

void Channel::close() {
  asio::post(strand_, [self = shared_from_this()] {
    if (self->closed_) return;
    self->closed_ = true;
    for (auto* calls : {&self->queue_, &self->waiting_}) {
      for (auto& call : *calls) call->finish(fail(grpc_status(GrpcCode::Unavailable, "the channel is closed")));
      calls->clear();
    }
    if (self->connection_) self->connection_->close("the channel is closed");
    self->connection_.reset();
    self->deadline_timer_.cancel();
    self->wake_worker();
  });
}

void Channel::wake_worker() {
  if (worker_waiting_) worker_wake_.cancel();
}

asio::awaitable<bool> Channel::ensure_connection(UnaryCall& call) {
  if (connection_ && connection_->usable()) co_return true;
  connection_.reset();
  auto transport = co_await connector_.connect();
  if (closed_) {
    call.finish(fail(grpc_status(GrpcCode::Unavailable, "the channel is closed")));
    co_return false;
  }
  if (!transport) {
    call.finish(fail(grpc_status(GrpcCode::Unavailable, transport.error().text())));
    co_return false;
  }
  connection_ = Http2Connection::start(strand_, std::move(*transport), authority_of(connector_.target()),
                                       connector_.target().scheme == "https" ? "https" : "http");
  co_return true;
}

asio::awaitable<void> Channel::worker(std::shared_ptr<Channel> self) {
  (void)self;  // named: GCC 12 mishandles unnamed coroutine parameters
  while (!closed_) {
    if (queue_.empty()) {
      worker_waiting_ = true;
      worker_wake_.expires_at(asio::steady_timer::time_point::max());
      asio::error_code ignored;
      co_await worker_wake_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
      worker_waiting_ = false;
      continue;
    }
    std::shared_ptr<UnaryCall> call = std::move(queue_.front());
    queue_.pop_front();
    if (!waiting_.empty()) {
      queue_.push_back(std::move(waiting_.front()));
      waiting_.pop_front();
    }
    if (call->finished) continue;
    // Waiting here for a new connection keeps later calls in the queue.
    if (!co_await ensure_connection(*call)) continue;
    if (call->finished) continue;  // its deadline passed while connecting
    connection_->submit(call);
  }
}

}  // namespace revizer::client
