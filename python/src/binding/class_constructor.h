#pragma once

// The constructor of a class description: it converts each argument
// straight into its member of a record built in the new object, in row
// order, with the note "while processing '<name>'" on the first failure,
// then hands the values of the rows without a member to the finish hook.

#include <Python.h>

#include <concepts>
#include <cstddef>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include "python/src/binding/class_doc.h"
#include "python/src/binding/constructor.h"

namespace revizer::python {

namespace detail {

// Storage for the values of parameter rows without a member.
template <class Row>
struct LooseValue {
  using type = std::monostate;
};
template <class Conv>
struct LooseValue<ParamRow<Conv, NoMember>> {
  using type = std::optional<typename Conv::type>;
};

template <const auto& Desc, class Seq = std::make_index_sequence<ClassTables<Desc>::kRows>>
struct LooseValues;
template <const auto& Desc, std::size_t... I>
struct LooseValues<Desc, std::index_sequence<I...>> {
  using type = std::tuple<typename LooseValue<typename ClassTables<Desc>::template Row<I>>::type...>;
};

// Converts the argument of row I into its member, or into `loose`.
template <const auto& Desc, std::size_t I, class Record, class Loose>
bool convert_row(PyObject* const* slots, Record& record, Loose& loose) {
  using T = ClassTables<Desc>;
  using Row = typename T::template Row<I>;
  if constexpr (!Row::kIsParam) {
    return true;
  } else {
    constexpr const auto& row = std::get<I>(Desc.rows);
    PyObject* argument = slots[T::kSlot[I]];
    bool ok = false;
    if constexpr (Row::kHasMember) {
      ok = convert_into<typename Row::conv>(argument, record.*row.member);
    } else {
      auto value = Row::conv::convert(argument);
      ok = static_cast<bool>(value);
      if (ok) std::get<I>(loose).emplace(std::move(*value));
    }
    if (!ok) attach_note(row.name);
    return ok;
  }
}

template <std::size_t I, class Loose>
auto loose_arg(Loose& loose) {
  auto& slot = std::get<I>(loose);
  if constexpr (std::is_same_v<std::remove_cvref_t<decltype(slot)>, std::monostate>) {
    return std::tuple<>{};
  } else {
    return std::forward_as_tuple(std::move(*slot));
  }
}

template <const auto& Desc>
PyObject* build_described(PyTypeObject* type, PyObject* const* slots) {
  using T = ClassTables<Desc>;
  using C = typename T::Class;
  static_assert(std::default_initializable<typename T::Record>, "the record is built from its default");
  // A failure leaves the record partly filled; releasing the object destroys
  // it like any other.
  Ref object = Ref::steal(emplace_object<C>(type));
  if (!object) return nullptr;
  auto& record = instance<C>(object.get())->record;
  typename LooseValues<Desc>::type loose;
  const bool converted = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (convert_row<Desc, I>(slots, record, loose) && ...);
  }(std::make_index_sequence<T::kRows>{});
  if (!converted) return nullptr;
  constexpr auto finish = std::remove_cvref_t<decltype(Desc)>::kFinish;
  if constexpr (finish != nullptr) {
    auto values = [&]<std::size_t... I>(std::index_sequence<I...>) {
      return std::tuple_cat(loose_arg<I>(loose)...);
    }(std::make_index_sequence<T::kRows>{});
    const bool finished =
        std::apply([&](auto&&... value) { return finish(record, std::forward<decltype(value)>(value)...); },
                   std::move(values));
    if (!finished) return nullptr;
  }
  return object.release();
}

}  // namespace detail

// The constructor row of a description (a PyType_Slot for a ClassDef).
template <const auto& Desc>
PyType_Slot described_constructor_slot() {
  using T = ClassTables<Desc>;
  constexpr auto build = &detail::build_described<Desc>;
  return {kConstructorSlot, const_cast<ConstructorEntries*>(&detail::kConstructorEntries<build, T::kNew>)};
}

}  // namespace revizer::python
