#pragma once

// Hash-order maps: maps from string whose iteration order (and so their
// written key order) follows a keyed hash under a key drawn once per process.
// The order differs between processes and is not part of any format; equality
// ignores it (std::unordered_map's ==). Keys from JSON text, dicts or the
// wire cannot be prepared to collide.
//
//   json::HashMap<std::string> metadata;   // PolicyMetadata.metadata

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace revizer::json {

// SipHash of `key` under the per-process key (value.cpp).
std::size_t keyed_hash(std::string_view key) noexcept;

struct KeyedHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view key) const noexcept { return keyed_hash(key); }
};

template <class X>
using HashMap = std::unordered_map<std::string, X, KeyedHash, std::equal_to<>>;

}  // namespace revizer::json
