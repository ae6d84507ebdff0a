#include "python/src/client/exit_gate.h"

#include <Python.h>

#include <atomic>

#include "python/src/binding/binding.h"
#include "python/src/client/pending_calls.h"
#include "python/src/client/per_process.h"

namespace revizer::python {
namespace {

// How long the exit waits for a thread inside the gate: it holds the
// interpreter for one batch of hand-backs, so this is only reached when
// Python code run there (a destructor) blocks.
constexpr std::chrono::seconds kLeaveBound{5};

// Set once the callback is registered; attached callers only.
std::atomic<bool> g_watching{false};

PyObject* close_at_exit(PyObject*, PyObject*) noexcept {
  return guarded<PyObject*>(nullptr, []() -> PyObject* {
    Detached detached;
    exit_gate().close(kLeaveBound);
    detached.reattach();
    // No hand-back attaches any more: every call still pending ends here.
    if (!fail_pending_calls()) return nullptr;
    return Py_NewRef(Py_None);
  });
}

PyMethodDef kCloseAtExitDef = {"close_at_exit", &close_at_exit, METH_NOARGS,
                               "Closes the module's threads off from the exiting interpreter and fails the calls "
                               "still pending."};

}  // namespace

ExitGate::Pass ExitGate::enter() noexcept {
  std::lock_guard lock(mutex_);
  if (closed_) return Pass(nullptr);
  ++inside_;
  return Pass(this);
}

bool ExitGate::closed() noexcept {
  std::lock_guard lock(mutex_);
  return closed_;
}

void ExitGate::leave() noexcept {
  std::lock_guard lock(mutex_);
  if (--inside_ == 0) left_.notify_all();
}

void ExitGate::close(std::chrono::milliseconds bound) noexcept {
  std::unique_lock lock(mutex_);
  closed_ = true;
  left_.wait_for(lock, bound, [this] { return inside_ == 0; });
}

ExitGate& exit_gate() noexcept { return PerProcess<ExitGate>::get(); }

bool watch_interpreter_exit() noexcept {
  if (g_watching.load(std::memory_order_acquire)) return true;
  Ref atexit = Ref::steal(PyImport_ImportModule("atexit"));
  if (!atexit) return false;
  Ref callback = Ref::steal(PyCFunction_New(&kCloseAtExitDef, nullptr));
  if (!callback) return false;
  Ref registered = Ref::steal(PyObject_CallMethod(atexit.get(), "register", "O", callback.get()));
  if (!registered) return false;
  g_watching.store(true, std::memory_order_release);
  return true;
}

}  // namespace revizer::python
