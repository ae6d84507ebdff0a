#pragma once

// Parameter tables of the callables (constructors, methods, static methods,
// module functions). A table is built at compile time together with the doc
// text whose signature line documents it, and the build fails when the two
// disagree, so the binder and `__text_signature__` cannot drift apart.

#include <array>
#include <cstddef>
#include <string_view>

namespace revizer::python {

struct Param {
  const char* name;
  bool required;
  bool keyword_only;
};

// `pos("x")` required positional-or-keyword, `opt("x")` the same with a
// default, `kw("x")` required keyword-only, `kwopt("x")` keyword-only with a
// default.
constexpr Param pos(const char* name) { return {name, true, false}; }
constexpr Param opt(const char* name) { return {name, false, false}; }
constexpr Param kw(const char* name) { return {name, true, true}; }
constexpr Param kwopt(const char* name) { return {name, false, true}; }

// What the binder reads; the same for every table size.
struct SignatureView {
  const char* class_name;  // null for module functions
  const char* callable;    // "__new__" for constructors
  const Param* params;
  std::size_t count;
  std::size_t positional;           // leading positional-or-keyword params
  std::size_t required_positional;  // leading required ones among them
  std::size_t required_keyword;     // required keyword-only params
};

namespace detail {

constexpr std::size_t length(const char* text) {
  std::size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

// string_view::find by hand: GCC 12 cannot evaluate the library's find at
// compile time under -fsanitize=undefined when the text is a static member
// of a class template (the class descriptions' generated docs), and these
// checks run only at compile time.
constexpr std::size_t find(std::string_view text, std::string_view part, std::size_t from = 0) {
  for (std::size_t at = from; at + part.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < part.size() && text[at + i] == part[i]) ++i;
    if (i == part.size()) return at;
  }
  return std::string_view::npos;
}

// Checks that `doc` starts with `owner(...)\n--\n\n` and that the parameter
// list agrees with `params`: names in order, "*" before the keyword-only ones,
// "=" exactly on the parameters with a default. "$self" is skipped.
template <std::size_t N>
constexpr bool doc_agrees(std::string_view doc, std::string_view owner, const std::array<Param, N>& params) {
  if (doc.substr(0, owner.size()) != owner) return false;
  std::size_t at = owner.size();
  if (at >= doc.size() || doc[at] != '(') return false;
  const std::size_t close = find(doc, ")\n--\n\n", at);
  if (close == std::string_view::npos) return false;
  std::string_view list = doc.substr(at + 1, close - at - 1);
  std::size_t index = 0;
  bool keyword_only = false;
  while (!list.empty()) {
    const std::size_t comma = find(list, ", ");
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 2);
    if (item == "$self") continue;
    if (item == "*") {
      keyword_only = true;
      continue;
    }
    if (index >= N) return false;
    const std::size_t equals = find(item, "=");
    const Param& param = params[index++];
    if (item.substr(0, equals) != std::string_view(param.name)) return false;
    if ((equals == std::string_view::npos) != param.required) return false;
    if (keyword_only != param.keyword_only) return false;
  }
  return index == N;
}

}  // namespace detail

template <std::size_t N>
struct Signature {
  const char* class_name;
  const char* callable;
  const char* doc;  // text signature, "\n--\n\n", doc line
  std::array<Param, N> params;
  std::size_t positional;
  std::size_t required_positional;
  std::size_t required_keyword;

  constexpr SignatureView view() const {
    return {class_name, callable, params.data(), N, positional, required_positional, required_keyword};
  }
};

// A table from its parameters, checked against the doc at compile time (a
// failed check is a compile error: "call to consteval function is not a
// constant"). A doc generated from the same parameters (class descriptions)
// agrees by construction and skips the check.
enum class DocCheck : bool { Check, Generated };

template <std::size_t N>
consteval Signature<N> make_signature(const char* class_name, const char* callable, const char* doc,
                                      const std::array<Param, N>& params, DocCheck check = DocCheck::Check) {
  Signature<N> sig{class_name, callable, doc, params, 0, 0, 0};
  bool seen_keyword_only = false;
  bool seen_optional = false;
  for (const Param& param : sig.params) {
    if (param.keyword_only) {
      seen_keyword_only = true;
      if (param.required) ++sig.required_keyword;
      continue;
    }
    if (seen_keyword_only) throw "positional parameter after a keyword-only one";
    ++sig.positional;
    if (param.required) {
      if (seen_optional) throw "required positional parameter after an optional one";
      ++sig.required_positional;
    } else {
      seen_optional = true;
    }
  }
  const std::string_view callable_name(callable);
  const std::string_view owner = callable_name == "__new__" ? std::string_view(class_name) : callable_name;
  if (check == DocCheck::Check && !detail::doc_agrees(std::string_view(doc, detail::length(doc)), owner, sig.params)) {
    throw "the doc's text signature does not agree with the parameter table";
  }
  return sig;
}

// `signature(class, callable, doc, pos("a"), kwopt("b"), ...)`.
template <class... P>
consteval Signature<sizeof...(P)> signature(const char* class_name, const char* callable, const char* doc,
                                            P... params) {
  return make_signature<sizeof...(P)>(class_name, callable, doc, std::array<Param, sizeof...(P)>{params...});
}

}  // namespace revizer::python
