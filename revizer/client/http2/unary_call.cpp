#include "revizer/client/http2/unary_call.h"

#include "revizer/client/http2/deadline_list.h"

namespace revizer::client {

UnaryCall::~UnaryCall() {
  if (deadline_link.list) deadline_link.list->remove(*this);
}

std::chrono::nanoseconds UnaryCall::time_left(Clock::time_point now) const {
  std::chrono::nanoseconds left = request.timeout;
  if (deadline_armed) {
    left = deadline - now;
  } else if (request.deadline) {
    left = *request.deadline - now;
  }
  if (left <= std::chrono::nanoseconds::zero()) return std::chrono::nanoseconds::zero();
  return std::chrono::ceil<std::chrono::milliseconds>(left);
}

void UnaryCall::finish(CallOutcome outcome, bool here) {
  if (finished) return;
  // A failure that lands after the deadline (the server's own
  // DEADLINE_EXCEEDED, a reset racing the timer on a busy worker) is the
  // timeout: the channel would have abandoned the call at that instant.
  if (!outcome && deadline_armed && Clock::now() >= deadline)
    outcome = fail(common::GrpcStatus{common::GrpcCode::Cancelled, "Timeout expired"});
  finished = true;
  if (deadline_link.list) deadline_link.list->remove(*this);
  if (here) {
    completion.complete_here(std::move(outcome));
  } else {
    completion.complete(std::move(outcome));
  }
}

void UnaryCall::prepare_resend() {
  body_sent = 0;
  http_status = 0;
  grpc_status.reset();
  grpc_message.clear();
  content_type.reset();
  head_read = false;
  grpc_body = false;
  data.clear();
  failure.reset();
  answer_began = false;
  connection.reset();
  stream_id = -1;
  reads_at_send = 0;
  ++resends;
}

DeadlineList::~DeadlineList() {
  while (head_) remove(*head_);
}

void DeadlineList::insert(UnaryCall& call) {
  if (call.deadline_link.list) call.deadline_link.list->remove(call);
  // From the back: deadlines mostly arrive in order.
  UnaryCall* after = tail_;
  while (after && after->deadline > call.deadline) after = after->deadline_link.prev;
  DeadlineLink& link = call.deadline_link;
  link.list = this;
  link.prev = after;
  link.next = after ? after->deadline_link.next : head_;
  (link.next ? link.next->deadline_link.prev : tail_) = &call;
  (after ? after->deadline_link.next : head_) = &call;
  ++size_;
}

void DeadlineList::remove(UnaryCall& call) {
  DeadlineLink& link = call.deadline_link;
  if (link.list != this) return;
  (link.prev ? link.prev->deadline_link.next : head_) = link.next;
  (link.next ? link.next->deadline_link.prev : tail_) = link.prev;
  link = DeadlineLink{};
  --size_;
}

}  // namespace revizer::client
