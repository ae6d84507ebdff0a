#pragma once

// Box<T>: a T held in its own allocation, with value semantics. Copying
// copies the T deeply and equality compares the held values. A union that
// holds one large alternative among small ones boxes it, so the union stays
// as small as the small ones.
//
// A Box always holds a value, except after it was moved from; a moved-from
// Box may only be assigned to, copied, compared or destroyed.

#include <memory>
#include <utility>

namespace revizer {

template <class T>
class Box {
 public:
  Box() : held_(std::make_unique<T>()) {}
  Box(T value) : held_(std::make_unique<T>(std::move(value))) {}
  Box(const Box& other) : held_(other.held_ ? std::make_unique<T>(*other.held_) : nullptr) {}
  Box(Box&&) noexcept = default;
  Box& operator=(const Box& other) {
    if (this != &other) held_ = other.held_ ? std::make_unique<T>(*other.held_) : nullptr;
    return *this;
  }
  Box& operator=(Box&&) noexcept = default;
  ~Box() = default;

  T& operator*() noexcept { return *held_; }
  const T& operator*() const noexcept { return *held_; }
  T* operator->() noexcept { return held_.get(); }
  const T* operator->() const noexcept { return held_.get(); }
  // False only after a move.
  bool has_value() const noexcept { return held_ != nullptr; }

  friend bool operator==(const Box& a, const Box& b) {
    if (!a.held_ || !b.held_) return a.held_ == b.held_;
    return *a.held_ == *b.held_;
  }

 private:
  std::unique_ptr<T> held_;
};

}  // namespace revizer
