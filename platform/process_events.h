#pragma once

// Process events that long-lived native state must survive: fork() and exit.
//
// A child made by fork() holds one thread, the one that forked. A lock that
// another thread of the parent held at that moment stays held in the child
// for good; `ForkSafe<Mutex>` prevents that for process-wide leaf locks (never
// held while another of them is taken) by taking them all before the fork,
// releasing them in the parent after it and making them anew in the child
// (where the forking thread has another thread id, which a reader/writer
// lock's release would not recognise).

#include <memory>
#include <mutex>
#include <shared_mutex>

namespace revizer::platform {

// Calls `handler` in each child that fork() makes, before fork() returns
// there. Handlers run in the order of registration.
void on_fork_in_child(void (*handler)()) noexcept;

// Calls `handler` when the process exits normally (exit(), or a return from
// main), before the exit handlers registered earlier.
void on_exit(void (*handler)()) noexcept;

namespace detail {
struct ForkLockEntry {
  void* lock;
  void (*acquire)(void*);
  void (*release)(void*);
  void (*renew)(void*);  // in the child: a new, free lock in its place
};
// Adds a lock to the set that every fork() takes and releases, or takes it
// out again.
void register_fork_lock(ForkLockEntry entry) noexcept;
void unregister_fork_lock(void* lock) noexcept;
}  // namespace detail

// A lock that fork() cannot leave held in the child, for process-wide state.
// Used like the mutex it wraps.
template <class Mutex>
class ForkSafe : public Mutex {
 public:
  ForkSafe() noexcept {
    detail::register_fork_lock({static_cast<Mutex*>(this), [](void* m) { static_cast<Mutex*>(m)->lock(); },
                                [](void* m) { static_cast<Mutex*>(m)->unlock(); },
                                [](void* m) { std::construct_at(static_cast<Mutex*>(m)); }});
  }
  ForkSafe(const ForkSafe&) = delete;
  ForkSafe& operator=(const ForkSafe&) = delete;
  ~ForkSafe() { detail::unregister_fork_lock(static_cast<Mutex*>(this)); }
};

}  // namespace revizer::platform
