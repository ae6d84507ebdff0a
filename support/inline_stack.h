#pragma once

// A last-in-first-out stack whose first N entries live in the object
// itself. The iterative tree walks (JSON writer, Python conversion, asset
// stripping) push a handful of entries per call, and a heap allocation per
// call cost more than the walk; deeper trees spill into a vector.

#include <array>
#include <cstddef>
#include <vector>

namespace revizer {

template <class T, std::size_t N>
class InlineStack {
 public:
  bool empty() const noexcept { return size_ == 0; }
  T& back() noexcept { return size_ <= N ? inline_[size_ - 1] : spill_[size_ - N - 1]; }
  void push_back(const T& value) {
    if (size_ < N) {
      inline_[size_] = value;
    } else {
      spill_.push_back(value);
    }
    ++size_;
  }
  void pop_back() noexcept {
    if (size_ > N) spill_.pop_back();
    --size_;
  }

 private:
  std::array<T, N> inline_;
  std::vector<T> spill_;
  std::size_t size_ = 0;
};

}  // namespace revizer
