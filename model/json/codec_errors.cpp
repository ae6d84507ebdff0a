#include "model/json/codec_errors.h"

#include "model/json/float_text.h"
#include "text/quoted_text.h"

namespace revizer::json::errors {
namespace {


[[gnu::cold]] CodecError make(std::string text) { return CodecError{std::move(text), 0, 0}; }

}  // namespace

[[gnu::cold]] std::string describe(const Value& found) {
  switch (found.kind()) {
    case Kind::Null: return "null";
    case Kind::Bool: return found.as_bool() ? "boolean `true`" : "boolean `false`";
    case Kind::U64: return "integer `" + std::to_string(found.as_u64()) + "`";
    case Kind::I64: return "integer `" + std::to_string(found.as_i64()) + "`";
    case Kind::F64: {
      char buf[kFloatTextMax];
      return "floating point `" + std::string(buf, format_float(found.as_f64(), buf)) + "`";
    }
    case Kind::String: {
      std::string out = "string ";
      unicode::append_quoted(out, found.as_string());
      return out;
    }
    case Kind::Array: return "sequence";
    case Kind::Object: return "map";
  }
  return "";
}

[[gnu::cold]] CodecError invalid_type_of(std::string_view found_description, std::string_view expected) {
  std::string text = "invalid type: ";
  text.append(found_description).append(", expected ").append(expected);
  return make(std::move(text));
}

[[gnu::cold]] CodecError invalid_type(const Value& found, std::string_view expected) {
  return invalid_type_of(describe(found), expected);
}

[[gnu::cold]] CodecError invalid_value(const Value& found, std::string_view expected) {
  std::string text = "invalid value: ";
  text.append(describe(found)).append(", expected ").append(expected);
  return make(std::move(text));
}

[[gnu::cold]] CodecError invalid_length(std::size_t n, std::string_view expected) {
  std::string text = "invalid length ";
  text.append(std::to_string(n)).append(", expected ").append(expected);
  return make(std::move(text));
}

[[gnu::cold]] CodecError missing_element(std::size_t position, std::string_view record, std::size_t fields) {
  std::string expected(record);
  expected.append(" with ").append(std::to_string(fields)).append(fields == 1 ? " element" : " elements");
  return invalid_length(position, expected);
}

[[gnu::cold]] CodecError surplus_elements(std::size_t length, std::size_t read, Mode mode) {
  if (mode == Mode::Direct) return invalid_length(length, "fewer elements in array");
  std::string expected = std::to_string(read);
  expected.append(read == 1 ? " element in sequence" : " elements in sequence");
  return invalid_length(length, expected);
}

[[gnu::cold]] CodecError missing_field(std::string_view key) {
  std::string text = "missing field `";
  text.append(key).append("`");
  return make(std::move(text));
}

[[gnu::cold]] CodecError unknown_variant(std::string_view name, std::span<const std::string_view> names) {
  std::string text = "unknown variant `";
  text.append(name).append("`, expected ");
  if (names.size() == 1) {
    text.append("`").append(names[0]).append("`");
  } else if (names.size() == 2) {
    text.append("`").append(names[0]).append("` or `").append(names[1]).append("`");
  } else {
    text.append("one of ");
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i > 0) text.append(", ");
      text.append("`").append(names[i]).append("`");
    }
  }
  return make(std::move(text));
}

[[gnu::cold]] CodecError variant_index(std::uint64_t index, std::size_t count) {
  return make("invalid value: integer `" + std::to_string(index) + "`, expected variant index 0 <= i < " +
              std::to_string(count));
}

}  // namespace revizer::json::errors
