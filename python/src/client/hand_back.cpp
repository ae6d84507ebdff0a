#include "python/src/client/hand_back.h"

#include <utility>

#include "python/src/binding/binding.h"
#include "python/src/binding/text.h"
#include "python/src/client/bridge_names.h"

namespace revizer::python {
namespace {

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
  CallObjects& objects = call_->objects();
  PyObject* future = objects.future.get();
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
  PyObject* args[] = {objects.loop.get(), names->complete, future, method.get(), value.get(), Py_None};
  Ref scheduled = Ref::steal(PyObject_VectorcallMethod(names->call_soon_threadsafe, args,
                                                       5 | PY_VECTORCALL_ARGUMENTS_OFFSET, names->context_kwnames));
  if (!scheduled) report_hand_back_error();
}

Completion::~Completion() {
  // Dropped without a hand-back: the task was cancelled (its future is done).
  if (call_ && !settled_) (void)claim_pending_call(*call_);
}

void Completion::run(bool attached) noexcept {
  settled_ = true;
  if (!attached) return;  // left listed for the exit callback, or taken by it
  if (!claim_pending_call(*call_)) return;  // the exit callback failed the future
  try {
    complete();
  } catch (...) {
    raise_current_exception();
    report_hand_back_error();
  }
}

void hand_back(std::unique_ptr<Completion> completion) { run_on_interpreter_thread(std::move(completion)); }

}  // namespace revizer::python
