#pragma once

// A data class's repr, "Class(label=value, label=value)", built one labelled
// value at a time in the formats of repr_format.h:
//
//   return ReprText("Tool").quoted("name", tool.name).count("parameters", tool.parameters.size()).finish();
//
// `finish()` gives the new str (null with the error set).

#include <Python.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "python/src/binding/enum_class.h"
#include "python/src/binding/text.h"
#include "core/repr_format.h"
#include "text/graphemes.h"

namespace revizer::python {

class ReprText {
 public:
  explicit ReprText(std::string_view class_name) {
    out_.reserve(64);
    out_.append(class_name);
    out_ += '(';
  }

  ReprText& quoted(std::string_view label, std::string_view text) {
    repr::append_quoted(next(label), text);
    return *this;
  }
  // The first `clusters` grapheme clusters and "...", inside the quotes, when
  // the text is longer.
  ReprText& truncated(std::string_view label, std::string_view text, std::size_t clusters) {
    repr::append_quoted(next(label), unicode::truncate_graphemes(text, clusters));
    return *this;
  }
  ReprText& optional_text(std::string_view label, const std::optional<std::string>& text) {
    repr::append_optional_text(next(label), text);
    return *this;
  }
  ReprText& boolean(std::string_view label, bool value) {
    repr::append_bool(next(label), value);
    return *this;
  }
  ReprText& decimal(std::string_view label, double value) {
    repr::append_float(next(label), value);
    return *this;
  }
  ReprText& integer(std::string_view label, long long value) {
    repr::append_integer(next(label), value);
    return *this;
  }
  ReprText& count(std::string_view label, std::size_t count) {
    repr::append_count(next(label), count);
    return *this;
  }
  ReprText& texts(std::string_view label, std::span<const std::string> texts) {
    repr::append_text_list(next(label), texts);
    return *this;
  }
  // The member's repr text, "Decision.ALLOW".
  template <class E>
    requires std::is_enum_v<E>
  ReprText& member(std::string_view label, E value) {
    const EnumDef& def = EnumSpec<E>::def;
    next(label).append(def.name).append(".").append(def.members[static_cast<std::size_t>(value)].attr);
    return *this;
  }
  // Unquoted and unescaped.
  ReprText& plain(std::string_view label, std::string_view text) {
    next(label).append(text);
    return *this;
  }

  PyObject* finish() {
    out_ += ')';
    return new_str(out_);
  }

 private:
  std::string& next(std::string_view label) {
    if (!first_) out_ += ", ";
    first_ = false;
    out_.append(label).append("=");
    return out_;
  }

  std::string out_;
  bool first_ = true;
};

}  // namespace revizer::python
