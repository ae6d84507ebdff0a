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

#include <Python.h>

#include <memory>
#include <string>

#include "python/src/client/any_thread_ref.h"
#include "python/src/client/interpreter_thread.h"

namespace revizer::python {

// The Python objects a call holds from its start to its hand-back.
struct CallObjects {
  AnyThreadRef loop;
  AnyThreadRef context;  // the caller's context, copied at the call
  AnyThreadRef future;
};

// One call's outcome: a value (made into its Python object at the hand-back),
// the text of the RuntimeError it fails with, or a panic message.
class Completion : public InterpreterJob {
 public:
  explicit Completion(CallObjects objects) : objects_(std::move(objects)) {}

  void set_error(std::string text) {
    kind_ = Kind::Error;
    text_ = std::move(text);
  }
  void set_panic(std::string text) {
    kind_ = Kind::Panic;
    text_ = std::move(text);
  }

  // Attached: hands the future's result or exception to its loop.
  // Otherwise the interpreter exits: every Python reference is kept for good.
  void run(bool attached) noexcept override;

 protected:
  // Attached: the value's Python object, or null with the error set.
  virtual PyObject* make_value() = 0;

 private:
  void complete();
  void abandon() noexcept;

  enum class Kind { Value, Error, Panic };
  CallObjects objects_;
  Kind kind_ = Kind::Value;
  std::string text_;
};

// Queues `completion` for the hand-back; from any thread.
void hand_back(std::unique_ptr<Completion> completion);

// The done callback's test and the completion's: `future.cancelled()`.
// 1, 0, or -1 with the error set.
int future_cancelled(PyObject* future);

}  // namespace revizer::python
