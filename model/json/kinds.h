#pragma once

// What shape of member a type is, for the code that walks records by their
// descriptions (the codec, the text writer and reader, the Python
// conversions): one set of tests, so every walker sees the same kinds.

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "support/box.h"

namespace revizer::json {

template <class T>
inline constexpr bool kIsOptional = false;
template <class T>
inline constexpr bool kIsOptional<std::optional<T>> = true;

template <class T>
inline constexpr bool kIsVector = false;
template <class T>
inline constexpr bool kIsVector<std::vector<T>> = true;

template <class T>
inline constexpr bool kIsBox = false;
template <class T>
inline constexpr bool kIsBox<Box<T>> = true;

// Any map keyed by text, ordered or hashed with any hasher.
template <class T>
inline constexpr bool kIsStringMap = false;
template <class X, class... Rest>
inline constexpr bool kIsStringMap<std::map<std::string, X, Rest...>> = true;
template <class X, class... Rest>
inline constexpr bool kIsStringMap<std::unordered_map<std::string, X, Rest...>> = true;

}  // namespace revizer::json
