#include "python/src/client/hand_back.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/process_events.h"
#include "python/src/binding/binding.h"
#include "python/src/binding/text.h"
#include "python/src/client/bridge_names.h"
#include "revizer/client/runtime/runtime.h"

namespace revizer::python {
namespace {

// The queue of outcomes waiting for the interpreter. While a drain task is
// scheduled or running, new outcomes join its queue instead of starting a
// thread of their own, so a burst of results takes the interpreter once.
// Process-wide and never freed; a forked child starts a fresh one (the
// parent's drain task does not exist there).
struct HandBackQueue {
  std::mutex mutex;
  std::vector<std::unique_ptr<Completion>> pending;
  bool draining = false;
};
std::atomic<HandBackQueue*> g_queue{nullptr};

void fresh_queue_in_child() { g_queue.store(new HandBackQueue, std::memory_order_release); }

HandBackQueue& queue() {
  static const bool registered = [] {
    g_queue.store(new HandBackQueue, std::memory_order_release);
    platform::on_fork_in_child(&fresh_queue_in_child);
    return true;
  }();
  (void)registered;
  return *g_queue.load(std::memory_order_acquire);
}

bool interpreter_usable() noexcept { return Py_IsInitialized() && !Py_IsFinalizing(); }

void drain(HandBackQueue& q) {
  std::vector<std::unique_ptr<Completion>> batch;
  for (;;) {
    {
      std::lock_guard lock(q.mutex);
      batch.swap(q.pending);
      if (batch.empty()) {
        q.draining = false;
        return;
      }
    }
    // Never attach to an interpreter that is finalizing: the results are
    // dropped, their Python references kept for good.
    if (!interpreter_usable()) {
      for (auto& completion : batch) completion->abandon();
      batch.clear();
      continue;
    }
    const PyGILState_STATE gil = PyGILState_Ensure();
    {
      EntryFrame frame;
      for (auto& completion : batch) {
        completion->complete();
        completion.reset();
      }
    }
    batch.clear();
    PyGILState_Release(gil);
  }
}

// The error of a hand-back, reported where unraisable errors go.
void report_hand_back_error() {
  PyErr_FormatUnraisable("Exception ignored while handing a result back to its event loop");
}

// Builds the exception object of a failed call: RuntimeError(text) or the
// panic exception. New reference, or null with the error set.
PyObject* exception_object(PyObject* type, const std::string& text) {
  Ref message = Ref::steal(new_str(text, "replace"));
  if (!message) return nullptr;
  return PyObject_CallOneArg(type, message.get());
}

}  // namespace

int future_cancelled(PyObject* future) {
  const BridgeNames* names = bridge_names();
  if (names == nullptr) return -1;
  Ref answer = Ref::steal(PyObject_CallMethodNoArgs(future, names->cancelled));
  if (!answer) return -1;
  return PyObject_IsTrue(answer.get());
}

void Completion::complete() {
  PyObject* future = objects_.future.get();
  const int cancelled = future_cancelled(future);
  if (cancelled != 0) {
    if (cancelled < 0) report_hand_back_error();
    return;  // cancelled: the outcome is dropped without a trace
  }
  const BridgeNames* names = bridge_names();
  if (names == nullptr) {
    report_hand_back_error();
    return;
  }
  Ref value;
  switch (kind_) {
    case Kind::Value:
      value = Ref::steal(make_value());
      break;
    case Kind::Error:
      value = Ref::steal(exception_object(PyExc_RuntimeError, text_));
      break;
    case Kind::Panic: {
      PyObject* panic = panic_exception_type();
      value = Ref::steal(panic == nullptr ? nullptr : exception_object(panic, text_));
      break;
    }
  }
  bool failed = kind_ != Kind::Value;
  if (!value) {
    // Making the value failed: that failure is the future's exception.
    value = Ref::steal(PyErr_GetRaisedException());
    failed = true;
  }
  Ref method = Ref::steal(PyObject_GetAttr(future, failed ? names->set_exception : names->set_result));
  if (!method) {
    report_hand_back_error();
    return;
  }
  PyObject* args[] = {objects_.loop.get(), names->complete, future, method.get(), value.get(), Py_None};
  Ref scheduled = Ref::steal(PyObject_VectorcallMethod(names->call_soon_threadsafe, args,
                                                       5 | PY_VECTORCALL_ARGUMENTS_OFFSET, names->context_kwnames));
  if (!scheduled) report_hand_back_error();
}

void Completion::abandon() noexcept {
  objects_.loop.leak();
  objects_.context.leak();
  objects_.future.leak();
}

void hand_back(std::unique_ptr<Completion> completion) {
  HandBackQueue& q = queue();
  bool start = false;
  {
    std::lock_guard lock(q.mutex);
    q.pending.push_back(std::move(completion));
    start = !std::exchange(q.draining, true);
  }
  if (start) client::Runtime::shared().blocking_pool().post([&q] { drain(q); });
}

}  // namespace revizer::python
