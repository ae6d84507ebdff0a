#pragma once

// The key index of a large Object: an open-addressing table of member
// positions (position + 1; 0 marks a free slot), kept at most half full. It
// holds positions rather than key views, so it stays valid when the member
// vector grows and moves its strings.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace revizer::json {

struct Member;

class ObjectIndex {
 public:
  explicit ObjectIndex(const std::vector<Member>& members);

  // Position of `key` in `members`, or -1.
  std::ptrdiff_t find(const std::vector<Member>& members, std::string_view key) const noexcept;
  // Records the member just appended at the end of `members`.
  void add_last(const std::vector<Member>& members);

 private:
  static std::size_t hash(std::string_view key) noexcept;
  void rebuild(const std::vector<Member>& members);
  void place(std::string_view key, std::uint32_t entry) noexcept;

  std::vector<std::uint32_t> slots_;
  std::size_t mask_ = 0;
};

}  // namespace revizer::json
