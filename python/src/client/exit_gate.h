#pragma once

// The gate that the module's own threads pass to attach to the interpreter.
// It closes when the interpreter begins to exit: a callback registered with
// Python's `atexit` module when the module is imported closes it and waits
// (without the interpreter) for the threads inside to leave. `atexit`
// callbacks run after the non-daemon threads were joined and before
// finalisation starts, so no thread of ours is attached once the
// interpreter tears itself down, and none attaches later: whatever would
// need the interpreter then is dropped. The same callback then fails every
// call still pending (pending_calls.h), so that no future waits for ever,
// and no call starts after it. `atexit` runs the callbacks last registered
// first: those registered after the import run before this one, while calls
// still work. A forked child starts with an open gate (the callback's
// registration is inherited with the rest of the interpreter).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace revizer::python {

class ExitGate {
 public:
  // A way through the gate: true while the holder may attach. Leaves the
  // gate when it goes.
  class Pass {
   public:
    Pass(Pass&& other) noexcept : gate_(std::exchange(other.gate_, nullptr)) {}
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    Pass& operator=(Pass&&) = delete;
    ~Pass() {
      if (gate_ != nullptr) gate_->leave();
    }
    explicit operator bool() const noexcept { return gate_ != nullptr; }

   private:
    friend class ExitGate;
    explicit Pass(ExitGate* gate) noexcept : gate_(gate) {}
    ExitGate* gate_;
  };

  // Never blocks; an empty pass once the gate is closed.
  Pass enter() noexcept;
  bool closed() noexcept;
  // Closes the gate and waits, at most `bound`, for the passes out to come
  // back. The caller does not hold the interpreter.
  void close(std::chrono::milliseconds bound) noexcept;

 private:
  void leave() noexcept;

  std::mutex mutex_;
  std::condition_variable left_;
  bool closed_ = false;
  int inside_ = 0;
};

// The gate of this process (a fresh, open one in a forked child).
ExitGate& exit_gate() noexcept;

// Attached: makes sure the callback that closes the gate is registered with
// `atexit` (once per process image): when the module is imported, and again
// (a no-op then) before anything is queued for the module's threads, so
// that the callback exists whenever they might attach. False with the error
// set when it cannot be registered.
bool watch_interpreter_exit() noexcept;

}  // namespace revizer::python
