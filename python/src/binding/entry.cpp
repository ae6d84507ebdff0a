#include "python/src/binding/entry.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "platform/process_events.h"

namespace revizer::python {
namespace {

constexpr const char* kPanicDoc =
    "Raised when native code called from Python panics.\n\n"
    "Like SystemExit, this exception derives from BaseException, so that it "
    "normally propagates to the top of the program instead of being caught "
    "by `except Exception`.";
constexpr const char* kGenericPanic = "native code panicked";

// References released while their thread was detached. Process-wide and
// deliberately never destroyed: worker threads may still drop references
// while the process exits. A forked child finds the list consistent.
struct DeferredReleases {
  platform::ForkSafe<std::mutex> mutex;
  std::vector<PyObject*> objects;
};
DeferredReleases& deferred() {
  static DeferredReleases* list = new DeferredReleases;
  return *list;
}

std::atomic<PyObject*> g_panic_type{nullptr};
std::atomic<void (*)() noexcept> g_release_waker{nullptr};

}  // namespace

void release_reference(PyObject* object) noexcept {
  if (object == nullptr) return;
  if (t_attach_count > 0) {
    Py_DECREF(object);
    return;
  }
  DeferredReleases& list = deferred();
  bool first = false;
  {
    std::lock_guard lock(list.mutex);
    try {
      list.objects.push_back(object);
    } catch (...) {
      abort_uncaught_panic();
    }
    first = list.objects.size() == 1;
    detail::g_has_deferred.store(true, std::memory_order_release);
  }
  if (first) {
    if (auto waker = g_release_waker.load(std::memory_order_acquire)) waker();
  }
}

void set_deferred_release_waker(void (*waker)() noexcept) noexcept {
  g_release_waker.store(waker, std::memory_order_release);
}

void detail::apply_deferred_releases_slow() noexcept {
  std::vector<PyObject*> objects;
  {
    DeferredReleases& list = deferred();
    std::lock_guard lock(list.mutex);
    objects.swap(list.objects);
    detail::g_has_deferred.store(false, std::memory_order_release);
  }
  for (PyObject* object : objects) Py_DECREF(object);
}

void negative_attach_count() noexcept {
  std::fputs("binding layer: negative attach count\n", stderr);
  std::abort();
}

Detached::Detached() noexcept : saved_count_(std::exchange(t_attach_count, 0)) {
  state_ = PyEval_SaveThread();
}

void Detached::reattach() noexcept {
  if (state_ == nullptr) return;
  PyEval_RestoreThread(std::exchange(state_, nullptr));
  t_attach_count = saved_count_;
  apply_deferred_releases();
}

PyObject* panic_exception_type() noexcept {
  PyObject* type = g_panic_type.load(std::memory_order_acquire);
  if (type != nullptr) return type;
  PyObject* made = PyErr_NewExceptionWithDoc("tavimor_revizer_client.PanicException", kPanicDoc,
                                             PyExc_BaseException, nullptr);
  if (made == nullptr) return nullptr;
  if (!g_panic_type.compare_exchange_strong(type, made, std::memory_order_acq_rel)) {
    Py_DECREF(made);
    return type;
  }
  return made;
}

void raise_panic(const char* message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the failure to make the class is raised instead
  PyErr_SetString(type, message);
}

bool discard_exception() noexcept {
  if (PyErr_Occurred() == nullptr) return true;
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
  PyErr_Clear();
  return true;
}

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise_panic(error.what());
  } catch (...) {
    raise_panic(kGenericPanic);
  }
}

void abort_uncaught_panic() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::abort();
}

}  // namespace revizer::python
