#pragma once

// Entry bookkeeping shared by every call from Python into the module: the
// per-thread attach count, the deferred-release list for references dropped on
// threads without the interpreter, the panic exception, and the one place that
// turns C++ exceptions into Python errors.

#include <Python.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace revizer::python {

// A failure of native code that is not an error value (an invariant broken,
// an impossible state). Entries raise it as the panic exception.
class Panic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Number of entries (and other attachments) active on this thread; 0 while
// the thread is not attached to the interpreter.
inline thread_local int t_attach_count = 0;

// Releases a reference from any thread: at once when this thread is attached,
// otherwise queued for the next attached thread that applies the queue (the
// waker's, or the next entry).
void release_reference(PyObject* object) noexcept;

// Called, from the releasing thread and without any lock held, when a
// release is queued into an empty queue: the waker makes sure an attached
// thread applies the queue soon. Set once, before references are dropped
// on threads without the interpreter.
void set_deferred_release_waker(void (*waker)() noexcept) noexcept;

namespace detail {
// Set while releases wait in the queue; read inline on every entry.
inline std::atomic<bool> g_has_deferred{false};
void apply_deferred_releases_slow() noexcept;
}  // namespace detail

// Applies the queued releases; the caller is attached. Cheap when none wait.
inline void apply_deferred_releases() noexcept {
  if (detail::g_has_deferred.load(std::memory_order_acquire)) detail::apply_deferred_releases_slow();
}

// The process-wide panic exception class (a direct subclass of
// BaseException, not a module attribute). Borrowed; null with an error set if
// it cannot be made.
PyObject* panic_exception_type() noexcept;

// Raises the exception that is being handled in the current `catch (...)`:
// std::bad_alloc as MemoryError, anything else as the panic exception. Must
// be called from inside a catch block.
void raise_current_exception() noexcept;

// Raises the panic exception with `message`.
void raise_panic(const char* message) noexcept;

// For code that drops a failed attempt to try something else: clears the
// pending error and returns true when it is an Exception (or when none is
// set). KeyboardInterrupt, SystemExit, the panic exception and any other
// BaseException stay set and give false: the caller fails with them, so
// an interrupt is never swallowed.
bool discard_exception() noexcept;

// Ends the process: something escaped the entry's own guard.
[[noreturn]] void abort_uncaught_panic() noexcept;

// Ends the process: the attach count went below zero.
[[noreturn, gnu::cold]] void negative_attach_count() noexcept;

// Marks the thread attached for the lifetime of the frame and applies the
// deferred releases on the way in.
class EntryFrame {
 public:
  EntryFrame() noexcept {
    if (++t_attach_count <= 0) negative_attach_count();
    apply_deferred_releases();
  }
  ~EntryFrame() { --t_attach_count; }
  EntryFrame(const EntryFrame&) = delete;
  EntryFrame& operator=(const EntryFrame&) = delete;
};

// Runs `body` inside an entry frame. A C++ exception becomes the Python error
// and the entry returns `failure`. No exception leaves this function.
template <class R, class Body>
R guarded(R failure, Body&& body) noexcept {
  try {
    EntryFrame frame;
    try {
      return body();
    } catch (...) {
      raise_current_exception();
      return failure;
    }
  } catch (...) {
    abort_uncaught_panic();
  }
}

// Thread-state handover for code that waits without the interpreter: saves
// and zeroes the attach count and detaches; `reattach` (or the destructor)
// restores both and applies the deferred releases.
class Detached {
 public:
  Detached() noexcept;
  ~Detached() { reattach(); }
  Detached(const Detached&) = delete;
  Detached& operator=(const Detached&) = delete;
  void reattach() noexcept;

 private:
  PyThreadState* state_;
  int saved_count_;
};

}  // namespace revizer::python
