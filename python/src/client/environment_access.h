#pragma once

// Work of a runtime task that reads or sets the process environment
// (loading the configuration, reading the adjudication timeout) while Python
// code may change os.environ on other threads. It runs on the blocking pool
// attached to the interpreter, so that it never overlaps a change made by
// Python code (which holds the interpreter while it makes it). Once the
// interpreter is finalizing it runs unattached: no Python code changes the
// environment any more, and nothing may attach.

#include <Python.h>

#include <asio/awaitable.hpp>
#include <type_traits>

#include "python/src/binding/entry.h"
#include "revizer/client/runtime/runtime.h"

namespace revizer::python {

template <class F, class T = std::invoke_result_t<F&>>
asio::awaitable<T> with_environment(F work) {
  auto attached = [work = std::move(work)]() mutable {
    if (!Py_IsInitialized() || Py_IsFinalizing()) return work();
    const PyGILState_STATE gil = PyGILState_Ensure();
    T value = [&] {
      EntryFrame frame;
      return work();
    }();
    PyGILState_Release(gil);
    return value;
  };
  client::BlockingPool& pool = client::Runtime::shared().blocking_pool();
  // Named, not temporaries beside co_await (GCC 12 frees those too early).
  T value = co_await client::run_blocking(pool, std::move(attached));
  co_return value;
}

}  // namespace revizer::python
