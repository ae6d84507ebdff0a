#pragma once

// What a class description yields at compile time: the binder's parameter
// table, each parameter row's slot in it, and the class doc, whose text
// signature ("Tool(name, description, parameters, *, id=None, ...)") is
// generated from the rows.

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/src/binding/class_rows.h"
#include "python/src/binding/signature.h"

namespace revizer::python {

namespace detail {

// Writes the class doc into `out` (counting only when `out` is null):
// "Name(a, b=None, *, c, d=...)\n--\n\n" and the doc line, or the doc line
// alone for a class without a constructor.
template <class Desc>
constexpr std::size_t write_class_doc(const Desc& desc, char* out) {
  std::size_t n = 0;
  auto put = [&](std::string_view text) {
    for (char c : text) {
      if (out != nullptr) out[n] = c;
      ++n;
    }
  };
  if (desc.options.constructor) {
    put(desc.options.name);
    put("(");
    bool first = true;
    bool star = false;
    std::apply(
        [&](const auto&... row) {
          auto one = [&](const auto& r) {
            if constexpr (std::remove_cvref_t<decltype(r)>::kIsParam) {
              if (!first) put(", ");
              first = false;
              if (r.keyword_only && !star) {
                put("*, ");
                star = true;
              }
              put(r.name);
              if (r.default_word != nullptr) {
                put("=");
                put(r.default_word);
              }
            }
          };
          (one(row), ...);
        },
        desc.rows);
    put(")\n--\n\n");
  }
  put(desc.options.doc);
  return n;
}

}  // namespace detail

// What a description yields, computed once at compile time.
template <const auto& Desc>
struct ClassTables {
  using D = std::remove_cvref_t<decltype(Desc)>;
  using Class = typename D::Class;
  using Record = typename D::Record;
  using RowTuple = std::remove_cvref_t<decltype(Desc.rows)>;
  static constexpr std::size_t kRows = std::tuple_size_v<RowTuple>;
  template <std::size_t I>
  using Row = std::tuple_element_t<I, RowTuple>;

  static constexpr std::size_t kParams = [] {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return (std::size_t{0} + ... + (Row<I>::kIsParam ? 1 : 0));
    }(std::make_index_sequence<kRows>{});
  }();

  // The binder slot of each parameter row (rows that are none: unused).
  static constexpr std::array<std::size_t, kRows + 1> kSlot = [] {
    std::array<std::size_t, kRows + 1> slots{};
    std::size_t next = 0;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      ((slots[I] = Row<I>::kIsParam ? next++ : 0), ...);
    }(std::make_index_sequence<kRows>{});
    return slots;
  }();

  // Whether row I gives a property where it stands: every property row
  // except the parameters whose property a prop row places.
  static constexpr std::array<bool, kRows + 1> kPlacesProperty = [] {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return std::array<bool, kRows + 1>{
          (Row<I>::kIsProperty && !detail::property_placed_elsewhere<I>(Desc.rows))..., false};
    }(std::make_index_sequence<kRows>{});
  }();

  static constexpr std::size_t kDocSize = detail::write_class_doc(Desc, nullptr);
  static constexpr std::array<char, kDocSize + 1> kDoc = [] {
    std::array<char, kDocSize + 1> text{};
    detail::write_class_doc(Desc, text.data());
    return text;
  }();

  static constexpr std::array<Param, kParams> kParamTable = [] {
    std::array<Param, kParams> params{};
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      auto one = [&]<std::size_t J>(std::integral_constant<std::size_t, J>) {
        if constexpr (Row<J>::kIsParam) {
          const auto& row = std::get<J>(Desc.rows);
          params[kSlot[J]] = Param{row.name, row.required, row.keyword_only};
        }
      };
      (one(std::integral_constant<std::size_t, I>{}), ...);
    }(std::make_index_sequence<kRows>{});
    return params;
  }();

  static constexpr Signature<kParams> kNew =
      make_signature<kParams>(Desc.options.name, "__new__", kDoc.data(), kParamTable, DocCheck::Generated);
};

}  // namespace revizer::python
