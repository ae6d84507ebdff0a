#pragma once

// Box<T>: a T held in its own allocation, with value semantics. A union that
// holds one large alternative among small ones boxes it, so the union stays
// as small as the small ones.
//
// Copies share the held value until one of them is changed: copying is a
// reference count, and mutable access to a shared value first makes a copy
// of its own (copy on write). So a copy behaves as a deep copy, records that
// are copied often (an agent's card, into every event) cost no allocation,
// and equality compares the held values.
//
// A Box always holds a value, except after it was moved from; a moved-from
// Box may only be assigned to, copied, compared or destroyed.

#include <memory>
#include <utility>

namespace revizer {

template <class T>
class Box {
 public:
  // A default Box shares one process-wide default value, so records that
  // hold boxes are built without allocating (and without throwing). The
  // shared value is never written: its own reference keeps it shared.
  Box() noexcept : held_(shared_default()) {}
  Box(T value) : held_(std::make_shared<T>(std::move(value))) {}
  Box(const Box&) = default;
  Box(Box&&) noexcept = default;
  Box& operator=(const Box&) = default;
  Box& operator=(Box&&) noexcept = default;
  ~Box() = default;

  T& operator*() { return *unshared(); }
  const T& operator*() const noexcept { return *held_; }
  T* operator->() { return unshared(); }
  const T* operator->() const noexcept { return held_.get(); }
  // False only after a move.
  bool has_value() const noexcept { return held_ != nullptr; }

  friend bool operator==(const Box& a, const Box& b) {
    if (!a.held_ || !b.held_) return a.held_ == b.held_;
    return *a.held_ == *b.held_;
  }

 private:
  // The held value, copied first when another Box shares it. The values
  // that Boxes share are never changed, so the count is only a question of
  // whether this Box may write in place.
  T* unshared() {
    if (held_ && held_.use_count() > 1) held_ = std::make_shared<T>(std::as_const(*held_));
    return held_.get();
  }

  static const std::shared_ptr<T>& shared_default() noexcept {
    static const std::shared_ptr<T>* held = new std::shared_ptr<T>(std::make_shared<T>());  // outlives every Box
    return *held;
  }

  std::shared_ptr<T> held_;
};

}  // namespace revizer
