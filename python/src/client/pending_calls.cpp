#include "python/src/client/pending_calls.h"

#include <cstddef>
#include <mutex>
#include <vector>

#include "python/src/binding/binding.h"
#include "python/src/client/bridge_names.h"
#include "python/src/client/hand_back.h"
#include "python/src/client/per_process.h"

namespace revizer::python {

// The list: intrusive and doubly linked, so that listing and claiming take
// no allocation and constant time. A listed call holds a reference to
// itself (`listed_`), which the claim hands over.
class PendingCalls {
 public:
  bool list(const std::shared_ptr<PendingCall>& call) {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    call->listed_ = call;
    call->prev_ = nullptr;
    call->next_ = head_;
    if (head_ != nullptr) head_->prev_ = call.get();
    head_ = call.get();
    ++count_;
    return true;
  }

  bool claim(PendingCall& call) noexcept {
    std::shared_ptr<PendingCall> kept;  // released once the lock is
    {
      std::lock_guard lock(mutex_);
      if (!call.listed_) return false;
      (call.prev_ != nullptr ? call.prev_->next_ : head_) = call.next_;
      if (call.next_ != nullptr) call.next_->prev_ = call.prev_;
      call.prev_ = call.next_ = nullptr;
      --count_;
      kept = std::move(call.listed_);
    }
    return true;
  }

  // Closes the list and hands over every call still in it.
  std::vector<std::shared_ptr<PendingCall>> close() {
    std::vector<std::shared_ptr<PendingCall>> all;
    std::lock_guard lock(mutex_);
    closed_ = true;
    all.reserve(count_);
    for (PendingCall* call = head_; call != nullptr;) {
      PendingCall* next = call->next_;
      call->prev_ = call->next_ = nullptr;
      all.push_back(std::move(call->listed_));
      call = next;
    }
    head_ = nullptr;
    count_ = 0;
    return all;
  }

 private:
  std::mutex mutex_;
  PendingCall* head_ = nullptr;
  std::size_t count_ = 0;
  bool closed_ = false;
};

namespace {

PendingCalls& pending_calls() { return PerProcess<PendingCalls>::get(); }

// On the loop's thread: fails the future with the error unless it is done
// (cancelled meanwhile), and marks the error retrieved, so that a future
// nobody awaits any more is not reported as "exception was never
// retrieved" as the process exits; whoever awaits it still gets the error.
PyObject* fail_quietly_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (nargs != 2) {
      PyErr_SetString(PyExc_TypeError, "fail_quietly() takes the future and the error");
      return nullptr;
    }
    Ref done = Ref::steal(PyObject_CallMethod(args[0], "done", nullptr));
    if (!done) return nullptr;
    const int is_done = PyObject_IsTrue(done.get());
    if (is_done < 0) return nullptr;
    if (is_done) return Py_NewRef(Py_None);
    Ref set = Ref::steal(PyObject_CallMethod(args[0], "set_exception", "O", args[1]));
    if (!set) return nullptr;
    Ref retrieved = Ref::steal(PyObject_CallMethod(args[0], "exception", nullptr));
    if (!retrieved) return nullptr;
    return Py_NewRef(Py_None);
  });
}

PyMethodDef kFailQuietlyDef = {"fail_quietly",
                               reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fail_quietly_impl)),
                               METH_FASTCALL, "fail_quietly(future, error)\n--\n\n"};

// Fails one future at exit through its loop. An error that is an Exception
// (a closed loop refuses the callback; a future that cannot say whether it
// was cancelled) skips the call; any other is kept in `interrupt` (the
// first one) for the caller to raise again.
void fail_at_exit(CallObjects& objects, const BridgeNames& names, PyObject* fail_quietly, Ref& interrupt) {
  const auto skip = [&interrupt] {
    if (discard_exception()) return;
    PyObject* raised = PyErr_GetRaisedException();
    if (!interrupt) {
      interrupt = Ref::steal(raised);
    } else {
      Py_XDECREF(raised);
    }
  };
  PyObject* future = objects.future.get();
  const int cancelled = future_cancelled(future);
  if (cancelled != 0) {
    if (cancelled < 0) skip();
    return;  // cancelled: left alone
  }
  Ref message = Ref::steal(PyUnicode_FromString(kCallAbandonedAtExit));
  Ref error = message ? Ref::steal(PyObject_CallOneArg(PyExc_RuntimeError, message.get())) : Ref();
  if (!error) {
    skip();
    return;
  }
  PyObject* args[] = {objects.loop.get(), fail_quietly, future, error.get(), Py_None};
  Ref scheduled = Ref::steal(PyObject_VectorcallMethod(names.call_soon_threadsafe, args,
                                                       4 | PY_VECTORCALL_ARGUMENTS_OFFSET, names.context_kwnames));
  if (!scheduled) skip();
}

}  // namespace

std::shared_ptr<PendingCall> list_pending_call(CallObjects objects) {
  auto call = std::make_shared<PendingCall>(std::move(objects));
  if (!pending_calls().list(call)) {
    PyErr_SetString(PyExc_RuntimeError, kCannotStartAtExit);
    return nullptr;
  }
  return call;
}

bool claim_pending_call(PendingCall& call) noexcept { return pending_calls().claim(call); }

bool fail_pending_calls() noexcept {
  std::vector<std::shared_ptr<PendingCall>> calls;
  try {
    calls = pending_calls().close();
  } catch (...) {
    raise_current_exception();
    return false;
  }
  const BridgeNames* names = bridge_names();
  if (names == nullptr && !discard_exception()) return false;
  Ref fail_quietly = Ref::steal(PyCFunction_New(&kFailQuietlyDef, nullptr));
  if (!fail_quietly && !discard_exception()) return false;
  Ref interrupt;
  for (std::shared_ptr<PendingCall>& call : calls) {
    if (names != nullptr && fail_quietly) fail_at_exit(call->objects(), *names, fail_quietly.get(), interrupt);
    // Released here, attached: whoever still holds the call (its task, its
    // hand-back) finds it claimed and touches none of its objects.
    call->objects() = CallObjects{};
    call.reset();
  }
  if (interrupt) {
    PyErr_SetRaisedException(interrupt.release());
    return false;
  }
  return true;
}

}  // namespace revizer::python
