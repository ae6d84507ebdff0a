#pragma once

// Runs a task on the runtime for a thread attached to the interpreter and
// waits for its value without the interpreter lock, so that the process's
// other threads go on meanwhile. The wait goes in short slices; between two
// the thread attaches and runs the signal handlers, so Ctrl-C ends it: the
// handler's exception (KeyboardInterrupt) is raised and the task cancelled.
// The cancellation may land before the task has begun its work: the steps
// that open a connection or wait long look at the task's cancellation state
// first (connect.cpp, client_state.cpp), so it is never lost.
//
//   std::optional<T> value = wait_interruptibly(executor, work());
//   if (!value) return nullptr;  // the error is set

#include <Python.h>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <utility>

#include "python/src/binding/entry.h"
#include "revizer/client/runtime/runtime.h"

namespace revizer::python {

// Long enough not to wake an idle wait needlessly, short enough that Ctrl-C
// feels immediate.
inline constexpr std::chrono::milliseconds kSignalCheckSlice{50};

template <class T>
std::optional<T> wait_interruptibly(asio::any_io_executor executor, asio::awaitable<T> work) {
  // Shared with the task: an interrupted wait leaves before the task ends.
  auto promise = std::make_shared<std::promise<T>>();
  std::future<T> outcome = promise->get_future();
  client::TaskHandle task = client::spawn_task<T>(
      std::move(executor), std::move(work), [promise](T value) { promise->set_value(std::move(value)); },
      [promise](std::exception_ptr error) { promise->set_exception(std::move(error)); });
  for (;;) {
    std::future_status status;
    {
      Detached detached;
      status = outcome.wait_for(kSignalCheckSlice);
    }
    if (status == std::future_status::ready) return outcome.get();
    if (PyErr_CheckSignals() < 0) {
      task.cancel();
      return std::nullopt;
    }
  }
}

}  // namespace revizer::python
