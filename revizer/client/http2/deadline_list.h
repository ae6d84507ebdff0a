#pragma once

// The calls of one channel that wait for their deadline, earliest first. A
// call links itself in when its deadline is set and out when it finishes,
// both in constant time for the usual case (one timeout per client, so a
// new deadline is the latest). The channel keeps one timer on the front, so
// a call costs neither a timer of its own nor a cancelled wait.
// Used on the channel's strand only.

#include <cstddef>

namespace revizer::client {

struct UnaryCall;

class DeadlineList {
 public:
  DeadlineList() = default;
  ~DeadlineList();  // calls still linked are let go, not finished
  DeadlineList(const DeadlineList&) = delete;
  DeadlineList& operator=(const DeadlineList&) = delete;

  // Links `call` in by its deadline, after calls with the same deadline.
  void insert(UnaryCall& call);
  // Unlinks `call` when it is linked here.
  void remove(UnaryCall& call);

  UnaryCall* front() const { return head_; }
  bool empty() const { return head_ == nullptr; }
  std::size_t size() const { return size_; }

 private:
  UnaryCall* head_ = nullptr;
  UnaryCall* tail_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace revizer::client
