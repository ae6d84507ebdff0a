#pragma once

// The bridge between the task runtime and asyncio: every asynchronous method
// of RevizerClient returns a future of the caller's running event loop and
// runs its task body on the runtime, without the interpreter.
//
// On the calling thread (interpreter attached): the running loop (its
// lookup's RuntimeError when there is none), a copy of the current context,
// the future, and a done callback that, when the future ends cancelled,
// fires the call's cancellation signal. The body then runs on the runtime;
// cancellation drops it where it waits. Its outcome goes to the hand-back
// (hand_back.h), which completes the future on its loop's thread unless it
// was cancelled. The call is listed as pending until then, so that the
// module's exit callback fails its future should the interpreter exit first
// (pending_calls.h).
//
//   PyObject* future = start_future<Value>(executor, body(), &to_python);
//
// `executor` is the runtime worker the body runs on: a client's own (its
// calls then stay on the worker that serves its connection), or the
// runtime's next one.
//
// `body` is an awaitable of `TaskOutcome<Value>`: the value, or the text of
// the RuntimeError the future fails with. `to_python` turns the value into
// the future's result at the hand-back (a new reference, or null with the
// error set, which then becomes the future's exception). A C++ exception
// escaping the body fails the future with the panic exception.

#include <Python.h>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/this_coro.hpp>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "python/src/binding/ref.h"
#include "python/src/client/hand_back.h"
#include "revizer/client/runtime/runtime.h"
#include "support/result.h"

namespace revizer::python {

template <class T>
using TaskOutcome = Result<T, std::string>;

namespace detail {

template <class T>
class TypedCompletion final : public Completion {
 public:
  using ToPython = PyObject* (*)(T&&);
  TypedCompletion(std::shared_ptr<PendingCall> call, ToPython to_python)
      : Completion(std::move(call)), to_python_(to_python) {}
  void set_value(T value) { value_.emplace(std::move(value)); }
  PyObject* make_value() override { return to_python_(std::move(*value_)); }

 private:
  ToPython to_python_;
  std::optional<T> value_;
};

// The call on the runtime: the body, then the hand-back unless the call was
// cancelled meanwhile (then its outcome and Python references are dropped).
template <class T>
asio::awaitable<void> run_call(asio::awaitable<TaskOutcome<T>> body, std::unique_ptr<TypedCompletion<T>> completion) {
  co_await asio::this_coro::throw_if_cancelled(false);
  try {
    TaskOutcome<T> outcome = co_await std::move(body);
    if (outcome) {
      completion->set_value(std::move(*outcome));
    } else {
      completion->set_error(std::move(outcome).error());
    }
  } catch (const std::exception& error) {
    completion->set_panic(error.what());
  } catch (...) {
    completion->set_panic("native code panicked");
  }
  const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
  if (cancellation.cancelled() != asio::cancellation_type::none) co_return;
  hand_back(std::move(completion));
}

// Steps 1 to 4 on the calling thread: loop, context, future, done callback;
// the call listed as pending (pending_calls.h). Null with the error set.
std::shared_ptr<PendingCall> prepare_call(const client::TaskHandle& task);

}  // namespace detail

template <class T>
PyObject* start_future(asio::any_io_executor executor, asio::awaitable<TaskOutcome<T>> body,
                       PyObject* (*to_python)(T&&)) {
  auto state = std::make_shared<client::TaskHandle::State>(std::move(executor));
  std::shared_ptr<PendingCall> call = detail::prepare_call(client::TaskHandle(state));
  if (!call) return nullptr;
  PyObject* future = Py_NewRef(call->objects().future.get());
  auto completion = std::make_unique<detail::TypedCompletion<T>>(std::move(call), to_python);
  asio::co_spawn(state->strand, detail::run_call<T>(std::move(body), std::move(completion)),
                 asio::bind_cancellation_slot(state->signal.slot(), [state](std::exception_ptr) {}));
  return future;
}

}  // namespace revizer::python
