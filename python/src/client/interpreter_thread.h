#pragma once

// One thread per process that does the module's interpreter work for the
// task runtime: the hand-back of results, the reads of the process
// environment by connect tasks, and the release of references that threads
// without the interpreter dropped. It waits for nothing but the interpreter
// lock, so no blocking job (a token fetch, a name lookup) can hold these up,
// and a burst of work takes the lock once: everything queued meanwhile runs
// in one attachment. Started on first use; a forked child starts its own.
//
// It attaches only through the exit gate (exit_gate.h). Work that finds the
// gate closed runs detached, told so: it must not touch the interpreter.

#include <memory>

namespace revizer::python {

class InterpreterJob {
 public:
  InterpreterJob() = default;
  virtual ~InterpreterJob() = default;
  InterpreterJob(const InterpreterJob&) = delete;
  InterpreterJob& operator=(const InterpreterJob&) = delete;

  // `attached`: the thread holds the interpreter, inside an entry frame (the
  // job is destroyed there too). Otherwise the interpreter is exiting.
  virtual void run(bool attached) noexcept = 0;
};

// Queues `job` for the thread; from any thread, never blocks.
void run_on_interpreter_thread(std::unique_ptr<InterpreterJob> job) noexcept;

// Attached: routes references that threads without the interpreter drop to
// the thread, which releases them at once instead of at the next entry into
// the module. Done before the first such reference exists.
void release_dropped_references_promptly() noexcept;

}  // namespace revizer::python
