#pragma once

// Class descriptions: one constexpr table per Python class names each
// constructor parameter once, with the record member it fills, its converter
// (convert.h) and its keyword/default word. From that table come
//   - the binder's parameter table and the class doc, whose text signature
//     ("Tool(name, description, parameters, *, id=None, ...)") is generated
//     at compile time from the rows;
//   - the constructor, which converts each argument straight into its member
//     of a record built in the new object, in table order, with the note
//     "while processing '<name>'" on the first failure;
//   - one property per member, in the record's declaration order, whose
//     getter is chosen from the member's type (py_value.h).
// Data classes add their generic rows (to_dict, from_dict, comparison) on top:
// see python/src/classes/data_class.h, which also shows a whole class.
//
// Rows:
//   pos<Conv>("name", &R::member)          required, by position or keyword
//   pos<Conv>("name", &R::member, "None")  positional with a default
//   kw<Conv>("name", &R::member)           required keyword-only
//   kw<Conv>("name", &R::member, "...")    keyword-only with a default
//   pos<Conv>("name") / kw<Conv>("name", "None")
//                                          a parameter without a member: its
//                                          converted value goes to `Finish`
//   prop("name", &R::member)               a property without a parameter
//   prop<&body>("name", &R::member)        a property by a hand-written body
//                                          `PyObject* body(const R&)`, placed
//                                          as the member is
//   prop<&body>("name")                    the same, after the member rows
//   pos<Conv>("name") + prop("name", &R::member)
//                                          a parameter that the finish hook
//                                          converts into its member (JSON
//                                          values converted after every other
//                                          argument), read back by the property
//   any row.doc("text")                    a doc for its property
//
// The default word is what the text signature shows; the build checks it
// against the converter: "None" needs one that takes None (Opt, OptList,
// NoneDefaulted, or Defaulted over one that reads None itself, as Json
// does), "..." one that refuses it (List); other words ("False") suit
// Defaulted. Defaults of stored values are the record's own member
// initializers.
//
// `describe<C, &finish>(...)`: after every argument is stored, the
// constructor calls `bool finish(R& record, values...)` with the values of
// the rows without a member, in row order; it fills what the arguments
// leave to it (generated identifiers) or refuses the record (false with the
// Python error set). Nothing is created when anything fails.

#include <Python.h>

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "python/src/binding/constructor.h"
#include "python/src/binding/members.h"
#include "python/src/binding/py_value.h"
#include "python/src/binding/signature.h"

namespace revizer::python {

// The member of a row that has none.
struct NoMember {};

// A constructor parameter; `Member` is `M R::*` or NoMember.
template <class Conv, class Member>
struct ParamRow {
  using conv = Conv;
  static constexpr bool kIsParam = true;
  static constexpr bool kHasMember = !std::is_same_v<Member, NoMember>;
  static constexpr bool kIsProperty = kHasMember;
  static constexpr auto kBody = nullptr;
  const char* name;
  Member member;
  bool required;
  bool keyword_only;
  const char* default_word;  // null when required
  const char* property_doc = nullptr;

  constexpr ParamRow doc(const char* text) const {
    ParamRow row = *this;
    row.property_doc = text;
    return row;
  }
};

// A property that is no parameter; `Body` null reads the member by its type.
template <auto Body, class Member>
struct PropRow {
  static constexpr bool kIsParam = false;
  static constexpr bool kHasMember = !std::is_same_v<Member, NoMember>;
  static constexpr bool kIsProperty = true;
  static constexpr auto kBody = Body;
  const char* name;
  Member member;
  const char* property_doc = nullptr;

  constexpr PropRow doc(const char* text) const {
    PropRow row = *this;
    row.property_doc = text;
    return row;
  }
};

namespace detail {

template <class Conv, class Member>
consteval ParamRow<Conv, Member> param_row(const char* name, Member member, bool keyword_only, const char* word) {
  const bool required = word == nullptr;
  if (!required && !Conv::absent_ok) throw "a parameter with a default needs a converter that accepts absence";
  if (!required) {
    const std::string_view text(word);
    if (text.empty()) throw "an empty default word";
    if (text == "None" && !python::takes_none<Conv>()) throw "the default None needs a converter that takes None";
    if (text == "..." && python::takes_none<Conv>()) throw "the default ... needs a converter that refuses None";
  }
  return {name, member, required, keyword_only, word};
}

}  // namespace detail

template <class Conv, class R, class M>
consteval ParamRow<Conv, M R::*> pos(const char* name, M R::*member, const char* default_word = nullptr) {
  return detail::param_row<Conv>(name, member, false, default_word);
}
template <class Conv>
consteval ParamRow<Conv, NoMember> pos(const char* name, const char* default_word = nullptr) {
  return detail::param_row<Conv>(name, NoMember{}, false, default_word);
}
template <class Conv, class R, class M>
consteval ParamRow<Conv, M R::*> kw(const char* name, M R::*member, const char* default_word = nullptr) {
  return detail::param_row<Conv>(name, member, true, default_word);
}
template <class Conv>
consteval ParamRow<Conv, NoMember> kw(const char* name, const char* default_word = nullptr) {
  return detail::param_row<Conv>(name, NoMember{}, true, default_word);
}

template <class R, class M>
consteval PropRow<nullptr, M R::*> prop(const char* name, M R::*member) {
  return {name, member};
}
template <auto Body, class R, class M>
consteval PropRow<Body, M R::*> prop(const char* name, M R::*member) {
  return {name, member};
}
template <auto Body>
consteval PropRow<Body, NoMember> prop(const char* name) {
  return {name, NoMember{}};
}

// Class-level choices. The generic rows of data classes read the last four.
template <class R>
struct ClassOptions {
  const char* name = nullptr;                // "Tool"
  const char* doc = nullptr;                 // the doc line, after the generated signature
  PyObject* (*repr)(const R&) = nullptr;     // `__repr__`, when the class has one
  bool constructor = true;                   // false: the class cannot be instantiated
  bool strip_asset_content = false;          // to_dict strips inline asset content
  bool from_dict = true;                     // the static from_dict(data)
  bool compare = true;                       // `==`/`!=` field by field
  bool (*equal)(const R&, const R&) = nullptr;  // in place of the record's `==`
};

template <class C, auto Finish, class... Rows>
struct ClassDesc {
  using Class = C;
  using Record = typename C::Record;
  static constexpr auto kFinish = Finish;
  ClassOptions<Record> options;
  std::tuple<Rows...> rows;
};

template <class C, auto Finish = nullptr, class... Rows>
consteval ClassDesc<C, Finish, Rows...> describe(ClassOptions<typename C::Record> options, Rows... rows) {
  if (options.name == nullptr || options.doc == nullptr) throw "a class needs its name and doc line";
  if (!options.constructor && ((Rows::kIsParam) || ...)) throw "parameters of a class without a constructor";
  // Parameter names are unique, and so are property names. A parameter
  // without a member may share its name with a property: the argument is
  // converted by the finish hook and read back by the property.
  const char* names[sizeof...(Rows) + 1] = {rows.name..., nullptr};
  const bool params[sizeof...(Rows) + 1] = {Rows::kIsParam..., false};
  const bool properties[sizeof...(Rows) + 1] = {Rows::kIsProperty..., false};
  for (std::size_t i = 0; i < sizeof...(Rows); ++i)
    for (std::size_t j = i + 1; j < sizeof...(Rows); ++j)
      if (std::string_view(names[i]) == std::string_view(names[j]) &&
          ((params[i] && params[j]) || (properties[i] && properties[j])))
        throw "two rows share a name";
  return {options, {rows...}};
}

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

// The getter body of row I.
template <const auto& Desc, std::size_t I>
PyObject* read_row(const typename ClassTables<Desc>::Record& record) {
  using Row = typename ClassTables<Desc>::template Row<I>;
  if constexpr (Row::kBody != nullptr) {
    return Row::kBody(record);
  } else {
    return py_value(record.*std::get<I>(Desc.rows).member);
  }
}

// Where a member lies in its record: properties follow the record's
// declaration order, which is the order of the members' addresses.
template <class Record, class Member>
std::size_t member_offset(Member member) {
  if constexpr (std::is_same_v<Member, NoMember> || !std::default_initializable<Record>) {
    return std::numeric_limits<std::size_t>::max();
  } else {
    const auto sample = std::make_unique<Record>();
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&(sample.get()->*member)) -
                                    reinterpret_cast<const char*>(sample.get()));
  }
}

}  // namespace detail

// The constructor row of a description (a PyType_Slot for a ClassDef).
template <const auto& Desc>
PyType_Slot described_constructor_slot() {
  using T = ClassTables<Desc>;
  constexpr auto build = &detail::build_described<Desc>;
  return {kConstructorSlot, const_cast<ConstructorEntries*>(&detail::kConstructorEntries<build, T::kNew>)};
}

// The property rows of a description, in declaration order of their members
// (rows without one after them, in row order); unterminated.
template <const auto& Desc>
std::vector<PyGetSetDef> described_properties() {
  using T = ClassTables<Desc>;
  using C = typename T::Class;
  struct Entry {
    std::size_t offset;
    PyGetSetDef def;
  };
  std::vector<Entry> entries;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    auto one = [&]<std::size_t J>(std::integral_constant<std::size_t, J>) {
      if constexpr (T::template Row<J>::kIsProperty) {
        const auto& row = std::get<J>(Desc.rows);
        entries.push_back({detail::member_offset<typename T::Record>(row.member),
                           property<C, &detail::read_row<Desc, J>>(row.name, row.property_doc)});
      }
    };
    (one(std::integral_constant<std::size_t, I>{}), ...);
  }(std::make_index_sequence<T::kRows>{});
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
  std::vector<PyGetSetDef> properties;
  properties.reserve(entries.size());
  for (const Entry& entry : entries) properties.push_back(entry.def);
  return properties;
}

// Hand-written members beside a description.
struct ClassExtras {
  std::initializer_list<PyType_Slot> slots = {};
  std::initializer_list<PyMethodDef> methods = {};     // before any generic method
  std::initializer_list<PyGetSetDef> properties = {};  // after the described ones
};

// The storage a ClassDef points into; kept for the life of the process.
struct ClassTablesStorage {
  std::vector<PyType_Slot> slots;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> properties;
};

// Fills `storage` from the description, `extras` and the caller's generic
// `methods` (skipped where `extras` has a method of the same name) and
// returns the class definition over it.
template <const auto& Desc>
ClassDef described_class_def(ClassTablesStorage& storage, const ClassExtras& extras,
                             std::span<const PyType_Slot> generic_slots = {},
                             std::span<const PyMethodDef> generic_methods = {}) {
  using C = typename ClassTables<Desc>::Class;
  if constexpr (Desc.options.constructor) storage.slots.push_back(described_constructor_slot<Desc>());
  if constexpr (Desc.options.repr != nullptr) storage.slots.push_back(repr_slot<C, Desc.options.repr>());
  storage.slots.insert(storage.slots.end(), generic_slots.begin(), generic_slots.end());
  storage.slots.insert(storage.slots.end(), extras.slots.begin(), extras.slots.end());
  storage.methods.assign(extras.methods.begin(), extras.methods.end());
  for (const PyMethodDef& method : generic_methods) {
    const bool own = std::any_of(extras.methods.begin(), extras.methods.end(), [&](const PyMethodDef& m) {
      return std::string_view(m.ml_name) == method.ml_name;
    });
    if (!own) storage.methods.push_back(method);
  }
  storage.methods.push_back({});
  storage.properties = described_properties<Desc>();
  storage.properties.insert(storage.properties.end(), extras.properties.begin(), extras.properties.end());
  storage.properties.push_back({});
  return ClassDef{Desc.options.name,
                  ClassTables<Desc>::kDoc.data(),
                  sizeof(Instance<C>),
                  &release_object<C>,
                  storage.slots,
                  storage.methods.size() > 1 ? storage.methods.data() : nullptr,
                  storage.properties.size() > 1 ? storage.properties.data() : nullptr,
                  {}};
}

// A class from its description alone (no generic data-class rows).
template <const auto& Desc>
const ClassDef& described_class(const ClassExtras& extras = {}) {
  static ClassTablesStorage* storage = new ClassTablesStorage;  // process-wide, like the type
  static const ClassDef def = described_class_def<Desc>(*storage, extras);
  return def;
}

}  // namespace revizer::python
