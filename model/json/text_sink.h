#pragma once

// The output of the JSON text writers: a growable byte buffer written through
// a raw cursor. The writers put many small pieces (a brace, a key, a short
// value), and std::string's out-of-line push_back with its capacity check
// per byte cost more than the text itself; here a piece asks for room once
// and is then copied in with no further checks.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace revizer::json {

// The first and the last sizeof(Word) bytes of `n` (at least that many),
// overlapping in the middle when n is smaller than two words.
template <class Word>
inline void copy_ends(char* to, const char* from, std::size_t n) noexcept {
  Word head, tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

// Copies `n` bytes; short copies (most keys and values) inline instead of a
// call into the library.
inline void copy_bytes(char* to, const char* from, std::size_t n) noexcept {
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    copy_ends<std::uint64_t>(to, from, n);
  } else if (n >= 4) {
    copy_ends<std::uint32_t>(to, from, n);
  } else if (n != 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

class TextSink {
 public:
  TextSink() = default;
  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;

  std::string_view view() const noexcept { return {data_.get(), size()}; }
  std::size_t size() const noexcept { return static_cast<std::size_t>(cursor_ - data_.get()); }
  // Empties the buffer, keeping its memory unless it grew past `keep` bytes.
  void clear(std::size_t keep = std::size_t{1} << 20) noexcept {
    if (capacity_ > keep) {
      data_.reset();
      capacity_ = 0;
    }
    cursor_ = limit_ = data_.get();
    limit_ += capacity_;
  }

  char* data() noexcept { return data_.get(); }
  // Drops the text past its first `n` bytes.
  void truncate(std::size_t n) noexcept { cursor_ = data_.get() + n; }

  // At least `n` writable bytes at the returned cursor; `commit` the new end.
  char* room(std::size_t n) {
    if (static_cast<std::size_t>(limit_ - cursor_) < n) grow(n);
    return cursor_;
  }
  void commit(char* end) noexcept { cursor_ = end; }

  void put(char c) {
    char* at = room(1);
    *at = c;
    cursor_ = at + 1;
  }
  void append(const char* text, std::size_t n) {
    char* at = room(n);
    copy_bytes(at, text, n);
    cursor_ = at + n;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }

 private:
  [[gnu::noinline]] void grow(std::size_t n) {
    const std::size_t used = size();
    std::size_t capacity = capacity_ < 256 ? 256 : capacity_ * 2;
    while (capacity - used < n) capacity *= 2;
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (used != 0) std::memcpy(bigger.get(), data_.get(), used);
    data_ = std::move(bigger);
    capacity_ = capacity;
    cursor_ = data_.get() + used;
    limit_ = data_.get() + capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t capacity_ = 0;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
};

}  // namespace revizer::json
