#include "platform/process_events.h"

#include <pthread.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace revizer::platform {
namespace {

// Both lists are process-wide and never freed: a handler may run while the
// process exits. The registry lock is itself held across each fork.
struct Registry {
  std::mutex mutex;
  std::vector<detail::ForkLockEntry> locks;
  std::vector<void (*)()> child_handlers;
};

Registry& registry() {
  static Registry* const instance = new Registry;
  return *instance;
}

void before_fork() {
  Registry& r = registry();
  r.mutex.lock();
  for (const auto& entry : r.locks) entry.acquire(entry.lock);
}

void after_fork_in_parent() {
  Registry& r = registry();
  for (auto it = r.locks.rbegin(); it != r.locks.rend(); ++it) it->release(it->lock);
  r.mutex.unlock();
}

void after_fork_in_child() {
  // The only thread here held every lock across the fork: each starts anew.
  Registry& r = registry();
  for (const auto& entry : r.locks) entry.renew(entry.lock);
  std::construct_at(&r.mutex);
  // The handlers may take the registered locks, so they run after the renewal.
  for (void (*handler)() : r.child_handlers) handler();
}

void install_fork_hooks() {
  static const bool installed = [] {
    pthread_atfork(&before_fork, &after_fork_in_parent, &after_fork_in_child);
    return true;
  }();
  (void)installed;
}

}  // namespace

void on_fork_in_child(void (*handler)()) noexcept {
  install_fork_hooks();
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  try {
    r.child_handlers.push_back(handler);
  } catch (...) {
    std::abort();  // a handler that cannot be registered leaves a child unusable
  }
}

void on_exit(void (*handler)()) noexcept { std::atexit(handler); }

namespace detail {

void register_fork_lock(ForkLockEntry entry) noexcept {
  install_fork_hooks();
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  try {
    r.locks.push_back(entry);
  } catch (...) {
    std::abort();
  }
}

void unregister_fork_lock(void* lock) noexcept {
  Registry& r = registry();
  std::lock_guard hold(r.mutex);
  std::erase_if(r.locks, [lock](const ForkLockEntry& entry) { return entry.lock == lock; });
}

}  // namespace detail
}  // namespace revizer::platform
