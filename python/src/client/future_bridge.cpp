#include "python/src/client/future_bridge.h"

#include <atomic>

#include "python/src/binding/binding.h"
#include "python/src/client/bridge_names.h"
#include "python/src/client/exit_gate.h"
#include "python/src/client/pending_calls.h"

namespace revizer::python {
namespace {

// --- the done callback: fires the call's cancellation signal ------------

// Registered on each future; when the future ends cancelled, the running
// task is dropped where it waits. Not a module attribute.
struct CancelOnDoneClass {
  using Record = client::TaskHandle;
  static const ClassDef& def();
};

PyObject* cancel_on_done_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* future = nullptr;
    if (kwargs != nullptr || !PyArg_UnpackTuple(args, "CancelOnDone", 1, 1, &future)) {
      if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "CancelOnDone() takes the future alone");
      return nullptr;
    }
    const int cancelled = future_cancelled(future);
    if (cancelled < 0) {
      // An error of the question counts as "not cancelled" and is reported;
      // an interrupt goes on to the loop.
      if (!PyErr_ExceptionMatches(PyExc_Exception)) return nullptr;
      PyErr_FormatUnraisable("Exception ignored while asking whether a future was cancelled");
      return Py_NewRef(Py_None);
    }
    if (cancelled) record_of<CancelOnDoneClass>(self).cancel();
    return Py_NewRef(Py_None);
  });
}

const ClassDef& CancelOnDoneClass::def() {
  static const PyType_Slot slots[] = {{Py_tp_call, reinterpret_cast<void*>(&cancel_on_done_call)}};
  static const ClassDef def{"CancelOnDone",
                            "Cancels a call of the runtime when its future ends cancelled.",
                            sizeof(Instance<CancelOnDoneClass>),
                            &release_object<CancelOnDoneClass>,
                            slots,
                            nullptr,
                            nullptr,
                            {}};
  return def;
}

// --- the completion: on the loop's thread, unless cancelled meanwhile ----

PyObject* complete_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (nargs != 3) {
      PyErr_SetString(PyExc_TypeError, "complete() takes the future, its method and the value");
      return nullptr;
    }
    const int cancelled = future_cancelled(args[0]);
    if (cancelled < 0) return nullptr;
    if (cancelled) return Py_NewRef(Py_None);
    Ref done = Ref::steal(PyObject_CallOneArg(args[1], args[2]));
    if (!done) return nullptr;
    return Py_NewRef(Py_None);
  });
}

PyMethodDef kCompleteDef = {"complete", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&complete_impl)),
                            METH_FASTCALL, "complete(future, method, value)\n--\n\n"};

PyObject* intern(const char* text) { return PyUnicode_InternFromString(text); }

BridgeNames* make_bridge_names() {
  Ref asyncio = Ref::steal(PyImport_ImportModule("asyncio"));
  if (!asyncio) return nullptr;
  BridgeNames names{};
  names.get_running_loop = PyObject_GetAttrString(asyncio.get(), "get_running_loop");
  names.create_future = intern("create_future");
  names.add_done_callback = intern("add_done_callback");
  names.cancelled = intern("cancelled");
  names.set_result = intern("set_result");
  names.set_exception = intern("set_exception");
  names.call_soon_threadsafe = intern("call_soon_threadsafe");
  names.context_kwnames = Py_BuildValue("(s)", "context");
  names.complete = PyCFunction_New(&kCompleteDef, nullptr);
  PyObject* const all[] = {names.get_running_loop, names.create_future,        names.add_done_callback,
                           names.cancelled,        names.set_result,           names.set_exception,
                           names.call_soon_threadsafe, names.context_kwnames, names.complete};
  for (PyObject* object : all) {
    if (object == nullptr) {
      for (PyObject* made : all) Py_XDECREF(made);
      return nullptr;
    }
  }
  return new BridgeNames(names);
}

}  // namespace

const BridgeNames* bridge_names() noexcept {
  static std::atomic<BridgeNames*> names{nullptr};
  if (BridgeNames* made = names.load(std::memory_order_acquire)) return made;
  // Attached callers only: the interpreter serialises the first makes, and
  // a race of free-threaded callers leaves one surplus set unreleased.
  BridgeNames* made = make_bridge_names();
  if (made == nullptr) return nullptr;
  BridgeNames* expected = nullptr;
  if (!names.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return expected;
  return made;
}

namespace detail {

std::shared_ptr<PendingCall> prepare_call(const client::TaskHandle& task) {
  const BridgeNames* names = bridge_names();
  if (names == nullptr) return nullptr;
  CallObjects objects;
  objects.loop = AnyThreadRef::steal(PyObject_CallNoArgs(names->get_running_loop));
  if (!objects.loop) return nullptr;
  if (!watch_interpreter_exit()) return nullptr;
  if (exit_gate().closed()) {
    // Its outcome could never be handed back: fail now rather than leave
    // the caller awaiting for good.
    PyErr_SetString(PyExc_RuntimeError, kCannotStartAtExit);
    return nullptr;
  }
  release_dropped_references_promptly();
  objects.context = AnyThreadRef::steal(PyContext_CopyCurrent());
  if (!objects.context) return nullptr;
  objects.future = AnyThreadRef::steal(PyObject_CallMethodNoArgs(objects.loop.get(), names->create_future));
  if (!objects.future) return nullptr;
  PyTypeObject* type = type_object<CancelOnDoneClass>();
  if (type == nullptr) return nullptr;
  Ref callback = Ref::steal(emplace_object<CancelOnDoneClass>(type, task));
  if (!callback) return nullptr;
  Ref registered =
      Ref::steal(PyObject_CallMethodOneArg(objects.future.get(), names->add_done_callback, callback.get()));
  if (!registered) return nullptr;
  // Listed last: from here on the exit callback fails the future should
  // the call still wait then (the list refuses once that callback ran).
  return list_pending_call(std::move(objects));
}

}  // namespace detail
}  // namespace revizer::python
