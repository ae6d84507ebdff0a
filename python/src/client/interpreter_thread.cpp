#include "python/src/client/interpreter_thread.h"

#include <Python.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "python/src/binding/entry.h"
#include "python/src/client/exit_gate.h"
#include "python/src/client/per_process.h"

namespace revizer::python {
namespace {

// The thread's queue (a forked child's has no thread yet).
struct InterpreterThread {
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<std::unique_ptr<InterpreterJob>> jobs;
  bool releases_waiting = false;
  bool started = false;
};
InterpreterThread& interpreter_thread() { return PerProcess<InterpreterThread>::get(); }

// The thread's own thread state, made by its first attachment and kept for
// the life of the thread: each later attachment only takes the lock.
class Attachment {
 public:
  void attach() noexcept {
    if (state_ == nullptr) {
      (void)PyGILState_Ensure();  // never released: the state stays this thread's
      state_ = PyThreadState_Get();
    } else {
      PyEval_RestoreThread(state_);
    }
  }
  void detach() noexcept { (void)PyEval_SaveThread(); }

 private:
  PyThreadState* state_ = nullptr;
};

void run_batch(std::vector<std::unique_ptr<InterpreterJob>>& batch, Attachment& attachment) {
  // Belt and braces: with the gate open the interpreter cannot be finalizing.
  ExitGate::Pass pass = exit_gate().enter();
  if (!pass || Py_IsFinalizing()) {
    for (auto& job : batch) job->run(false);
    batch.clear();
    return;
  }
  attachment.attach();
  {
    EntryFrame frame;  // applies the dropped references on the way in
    for (auto& job : batch) {
      job->run(true);
      job.reset();
    }
    apply_deferred_releases();  // those dropped while the batch ran
  }
  batch.clear();
  attachment.detach();
}

void serve(InterpreterThread& thread) {
  Attachment attachment;
  std::vector<std::unique_ptr<InterpreterJob>> batch;
  for (;;) {
    {
      std::unique_lock lock(thread.mutex);
      thread.wake.wait(lock, [&] { return !thread.jobs.empty() || thread.releases_waiting; });
      batch.swap(thread.jobs);
      thread.releases_waiting = false;
    }
    run_batch(batch, attachment);
  }
}

// Under the thread's lock: starts the thread unless it runs; false when it
// cannot be started now (the next call tries again).
bool ensure_started(InterpreterThread& thread) noexcept {
  if (thread.started) return true;
  try {
    std::thread([&thread] { serve(thread); }).detach();
  } catch (...) {
    return false;
  }
  thread.started = true;
  return true;
}

void wake_for_releases() noexcept {
  InterpreterThread& thread = interpreter_thread();
  {
    std::lock_guard lock(thread.mutex);
    thread.releases_waiting = true;
    if (!ensure_started(thread)) return;
  }
  thread.wake.notify_one();
}

}  // namespace

void run_on_interpreter_thread(std::unique_ptr<InterpreterJob> job) noexcept {
  InterpreterThread& thread = interpreter_thread();
  {
    std::lock_guard lock(thread.mutex);
    try {
      thread.jobs.push_back(std::move(job));
    } catch (...) {
      abort_uncaught_panic();
    }
    if (!ensure_started(thread)) return;
  }
  thread.wake.notify_one();
}

void release_dropped_references_promptly() noexcept { set_deferred_release_waker(&wake_for_releases); }

}  // namespace revizer::python
