#pragma once

// One object per process image: made on first use and never freed (threads
// may still use it while the process exits), and made anew in each child
// that fork() creates, where the parent's may hold a lock of a thread the
// child does not have.

#include <atomic>

#include "platform/process_events.h"

namespace revizer::python {

template <class T>
class PerProcess {
 public:
  static T& get() {
    static const bool made = [] {
      renew();
      platform::on_fork_in_child(&renew);
      return true;
    }();
    (void)made;
    return *current_.load(std::memory_order_acquire);
  }

 private:
  static void renew() { current_.store(new T, std::memory_order_release); }
  static inline std::atomic<T*> current_{nullptr};
};

}  // namespace revizer::python
