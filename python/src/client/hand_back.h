#pragma once

// The hand-back of a call's outcome to its event loop. Outcomes go to the
// interpreter thread (interpreter_thread.h), which takes the interpreter for
// every outcome queued meanwhile (never once the interpreter exits: the
// outcomes are then dropped without touching it) and, for each outcome whose
// future is not cancelled,
// builds the result object or the exception and schedules the completion on
// the future's loop with `call_soon_threadsafe(complete, future, method,
// value, context=None)`. On the loop's thread `complete` looks at
// `future.cancelled()` again before it calls `future.set_result` or
// `future.set_exception`. A failure of the hand-back itself (a closed loop)
// is reported as unraisable and leaves the future pending. Either way the
// call's Python objects are released there, attached.
//
// The call is listed as pending (pending_calls.h) from its start: the
// hand-back claims it first, and does nothing when the module's exit
// callback has taken it (and failed its future). A hand-back that runs once
// the interpreter exits claims nothing and leaves the call to that callback;
// a completion dropped without a hand-back (its task was cancelled) claims
// the call and releases its objects.

#include <Python.h>

#include <memory>
#include <string>

#include "python/src/client/interpreter_thread.h"
#include "python/src/client/pending_calls.h"

namespace revizer::python {

// One call's outcome: a value (made into its Python object at the hand-back),
// the text of the RuntimeError it fails with, or a panic message.
class Completion : public InterpreterJob {
 public:
  explicit Completion(std::shared_ptr<PendingCall> call) : call_(std::move(call)) {}
  ~Completion() override;

  void set_error(std::string text) {
    kind_ = Kind::Error;
    text_ = std::move(text);
  }
  void set_panic(std::string text) {
    kind_ = Kind::Panic;
    text_ = std::move(text);
  }

  // Attached: hands the future's result or exception to its loop, unless
  // the exit callback took the call. Otherwise the interpreter exits: the
  // call stays listed, with its Python objects, for that callback.
  void run(bool attached) noexcept override;

 protected:
  // Attached: the value's Python object, or null with the error set.
  virtual PyObject* make_value() = 0;

 private:
  void complete();

  enum class Kind { Value, Error, Panic };
  std::shared_ptr<PendingCall> call_;
  bool settled_ = false;  // claimed by the hand-back, or left for the exit callback
  Kind kind_ = Kind::Value;
  std::string text_;
};

// Queues `completion` for the hand-back; from any thread.
void hand_back(std::unique_ptr<Completion> completion);

// The done callback's test and the completion's: `future.cancelled()`.
// 1, 0, or -1 with the error set.
int future_cancelled(PyObject* future);

}  // namespace revizer::python
