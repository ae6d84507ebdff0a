#pragma once

// The calls whose future still waits for its outcome, so that none is left
// pending for ever when the interpreter exits. Each call is listed when it
// starts (attached, in `start_future`) and leaves the list when exactly one
// of two parties claims it:
//   - its hand-back (attached, on the interpreter thread), or its task when
//     it is dropped (cancelled: the future is done already), which then own
//     the call's Python objects as before;
//   - the module's exit callback (`fail_pending_calls`), which closes the
//     list and fails every future still in it through its loop.
// A hand-back that finds the exit gate closed (exit_gate.h) claims nothing:
// its call stays listed, with its Python objects, for the exit callback.
// Listing and claiming are O(1) under one lock; the lock is never held while
// Python code runs.

#include <memory>

#include "python/src/client/any_thread_ref.h"

namespace revizer::python {

// The Python objects a call holds from its start to its hand-back.
struct CallObjects {
  AnyThreadRef loop;
  AnyThreadRef context;  // the caller's context, copied at the call
  AnyThreadRef future;
};

class PendingCalls;

// One listed call: its Python objects, owned by whoever claims it.
class PendingCall {
 public:
  explicit PendingCall(CallObjects objects) : objects_(std::move(objects)) {}
  PendingCall(const PendingCall&) = delete;
  PendingCall& operator=(const PendingCall&) = delete;

  // Only by the party that claimed the call (or before it is listed).
  CallObjects& objects() noexcept { return objects_; }

 private:
  friend class PendingCalls;
  CallObjects objects_;
  // While listed: the list's own reference, and the links.
  std::shared_ptr<PendingCall> listed_;
  PendingCall* prev_ = nullptr;
  PendingCall* next_ = nullptr;
};

// Attached: lists a new call of `objects`. Null with RuntimeError "cannot
// start a call: the interpreter is exiting" once the exit callback ran.
std::shared_ptr<PendingCall> list_pending_call(CallObjects objects);

// From any thread: true when the caller now owns `call` (it was still
// listed, and leaves the list); false when the exit callback took it.
bool claim_pending_call(PendingCall& call) noexcept;

// Attached, from the module's exit callback (after the exit gate closed):
// closes the list, so that no call starts any more, and fails each listed
// future with RuntimeError(`kCallAbandonedAtExit`) through its loop, as the
// hand-back completes one (`loop.call_soon_threadsafe`); the error is marked
// retrieved there, so that a future nobody awaits any more is not reported
// as the process exits. A future that is cancelled is left alone; a loop
// that refuses the callback (a closed loop: any Exception) is skipped. An
// exception that is not an Exception (an interrupt) is set again once every
// call was seen: false then.
bool fail_pending_calls() noexcept;

inline constexpr const char* kCallAbandonedAtExit = "the call cannot complete: the interpreter is exiting";
inline constexpr const char* kCannotStartAtExit = "cannot start a call: the interpreter is exiting";

}  // namespace revizer::python
