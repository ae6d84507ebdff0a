#pragma once

// Shared by the three union representations: a union is a std::variant
// whose alternatives are the variants' contents in declaration order (two
// variants may share a content type), with one JSON name per alternative.

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>
#include <variant>

#include "model/json/codec.h"

namespace revizer::json {

template <class V>
inline constexpr std::size_t kAlternatives = std::variant_size_v<V>;

template <class V>
using VariantNames = std::array<std::string_view, kAlternatives<V>>;

// The JSON value of the content held by `v`.
template <class V>
Value encode_content(const V& v) {
  return std::visit([](const auto& content) { return Codec<std::decay_t<decltype(content)>>::encode(content); }, v);
}

// Reads `in` as the content of the variant at `index`.
template <class V>
Result<V, CodecError> decode_content(std::size_t index, Value&& in, Mode mode) {
  using Reader = Result<V, CodecError> (*)(Value&&, Mode);
  static constexpr auto kReaders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Reader, sizeof...(I)>{+[](Value&& v, Mode m) -> Result<V, CodecError> {
      std::variant_alternative_t<I, V> content{};
      if (auto st = Codec<decltype(content)>::decode(std::move(v), content, m); !st)
        return fail(std::move(st).error());
      return V(std::in_place_index<I>, std::move(content));
    }...};
  }(std::make_index_sequence<kAlternatives<V>>{});
  return kReaders[index](std::move(in), mode);
}

}  // namespace revizer::json
