#pragma once

// The rows of a class description (class_desc.h): one constexpr table per
// Python class names each constructor parameter once, with the record
// member it fills, its converter (convert.h) and its keyword/default word,
// and each property with the member or body it reads.
//
// Rows:
//   pos<Conv>("name", &R::member)          required, by position or keyword
//   pos<Conv>("name", &R::member, "None")  positional with a default
//   kw<Conv>("name", &R::member)           required keyword-only
//   kw<Conv>("name", &R::member, "...")    keyword-only with a default
//   pos<Conv>("name") / kw<Conv>("name", "None")
//                                          a parameter without a member: its
//                                          converted value goes to `Finish`
//   prop("name", &R::member)               a property without a parameter,
//                                          or the place of the property of
//                                          the parameter row with that name
//                                          and member
//   prop<&body>("name", &R::member)        a property by a hand-written body
//                                          `PyObject* body(const R&)`
//   prop<&body>("name")                    the same, reading no one member
//   pos<Conv>("name") + prop("name", &R::member)
//                                          a parameter that the finish hook
//                                          converts into its member (JSON
//                                          values converted after every other
//                                          argument), read back by the property
//   any row.doc("text")                    a doc for its property
//
// Properties come in row order: a class whose parameters come in another
// order than its properties places them with prop rows.
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

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/src/binding/convert.h"

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
  static constexpr bool kHasBody = false;
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
  // Told by type, not by comparing `Body` with null: that comparison is no
  // constant expression for a function of internal linkage in every build.
  static constexpr bool kHasBody = !std::is_same_v<decltype(Body), std::nullptr_t>;
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

namespace detail {

// Whether `placing` is a property row that places the property of the
// parameter row `param`: the same name, the same member, no body.
template <class P, class Q>
constexpr bool places_property_of(const P& placing, const Q& param) {
  if constexpr (!P::kIsParam && P::kHasMember && !P::kHasBody && Q::kIsParam && Q::kHasMember) {
    if constexpr (std::is_same_v<decltype(placing.member), decltype(param.member)>) {
      return std::string_view(placing.name) == param.name && placing.member == param.member;
    } else {
      return false;
    }
  } else {
    return false;
  }
}

// Whether row I is a parameter whose property another row places.
template <std::size_t I, class... Rows>
constexpr bool property_placed_elsewhere(const std::tuple<Rows...>& rows) {
  return std::apply([&](const auto&... row) { return (places_property_of(row, std::get<I>(rows)) || ...); },
                    rows);
}

}  // namespace detail

template <class C, auto Finish = nullptr, class... Rows>
consteval ClassDesc<C, Finish, Rows...> describe(ClassOptions<typename C::Record> options, Rows... rows) {
  if (options.name == nullptr || options.doc == nullptr) throw "a class needs its name and doc line";
  if (!options.constructor && ((Rows::kIsParam) || ...)) throw "parameters of a class without a constructor";
  const std::tuple<Rows...> table{rows...};
  // Parameter names are unique, and so are property names. A parameter
  // without a member may share its name with a property: the argument is
  // converted by the finish hook and read back by the property. A parameter
  // with a member shares its name with the prop row that places its
  // property, which then carries the property's doc.
  const char* names[sizeof...(Rows) + 1] = {rows.name..., nullptr};
  const bool params[sizeof...(Rows) + 1] = {Rows::kIsParam..., false};
  const bool properties[sizeof...(Rows) + 1] = {Rows::kIsProperty..., false};
  const std::array<bool, sizeof...(Rows) + 1> placed = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<bool, sizeof...(Rows) + 1>{detail::property_placed_elsewhere<I>(table)..., false};
  }(std::index_sequence_for<Rows...>{});
  const bool documented[sizeof...(Rows) + 1] = {(rows.property_doc != nullptr)..., false};
  for (std::size_t i = 0; i < sizeof...(Rows); ++i) {
    if (placed[i] && documented[i]) throw "the doc of a placed property goes on its prop row";
    for (std::size_t j = i + 1; j < sizeof...(Rows); ++j)
      if (std::string_view(names[i]) == std::string_view(names[j]) &&
          ((params[i] && params[j]) || (properties[i] && properties[j] && !placed[i] && !placed[j])))
        throw "two rows share a name";
  }
  return {options, table};
}

}  // namespace revizer::python
