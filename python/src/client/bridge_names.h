#pragma once

// The Python objects the asyncio bridge calls by name, made once per process
// (never released: the interpreter's own shutdown may still hand back).

#include <Python.h>

namespace revizer::python {

struct BridgeNames {
  PyObject* get_running_loop;       // asyncio.get_running_loop
  PyObject* create_future;          // "create_future"
  PyObject* add_done_callback;      // "add_done_callback"
  PyObject* cancelled;              // "cancelled"
  PyObject* set_result;             // "set_result"
  PyObject* set_exception;          // "set_exception"
  PyObject* call_soon_threadsafe;   // "call_soon_threadsafe"
  PyObject* context_kwnames;        // ("context",)
  PyObject* complete;               // the completion callable
};

// Borrowed; null with the error set when they cannot be made. Attached.
const BridgeNames* bridge_names() noexcept;

}  // namespace revizer::python
