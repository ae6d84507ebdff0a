#include "model/json/codec_errors.h"

#include <utf8proc.h>

#include "model/json/float_text.h"

namespace revizer::json::errors {
namespace {

// Characters that do not print stand as \u{hex} in a found string: controls,
// format, surrogate, private-use, unassigned and separator characters other
// than the space, and marks that extend a grapheme (utf8proc's Unicode
// tables, the version the Debian package ships).
bool needs_code_point_escape(std::int32_t cp) {
  if (cp == ' ') return false;
  const utf8proc_property_t* p = utf8proc_get_property(cp);
  switch (p->category) {
    case UTF8PROC_CATEGORY_CC: case UTF8PROC_CATEGORY_CF: case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO: case UTF8PROC_CATEGORY_CN: case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP: case UTF8PROC_CATEGORY_ZS:
      return true;
    default:
      // Grapheme extenders; emoji modifiers share the break class but print.
      return p->boundclass == UTF8PROC_BOUNDCLASS_EXTEND && p->category != UTF8PROC_CATEGORY_SK;
  }
}

void append_quoted(std::string& out, const std::string& text) {
  out.push_back('"');
  const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(text.size());
  while (left > 0) {
    utf8proc_int32_t cp = 0;
    utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
    if (n <= 0) {  // not UTF-8 (values are, but stay safe): show the byte
      cp = 0xFFFD;
      n = 1;
    }
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0: out += "\\0"; break;
      default:
        if (needs_code_point_escape(cp)) {
          char hex[16];
          const int len = std::snprintf(hex, sizeof hex, "\\u{%x}", static_cast<unsigned>(cp));
          out.append(hex, static_cast<std::size_t>(len));
        } else {
          out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
        }
    }
    p += n;
    left -= n;
  }
  out.push_back('"');
}

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
      append_quoted(out, found.as_string());
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
