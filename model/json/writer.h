#pragma once

// Value -> compact JSON text: no white space between tokens; in strings a
// double quote and a backslash get a backslash, \b \t \n \f \r are written
// so, other characters below U+0020 as \u00xx, everything else unchanged;
// floats in their shortest round-trip text (float_text.h). Works iteratively,
// so any nesting depth is fine.

#include <string>
#include <string_view>

#include "model/json/text_sink.h"
#include "model/json/value.h"

namespace revizer::json {

std::string write(const Value& value);
// Appends the text of `value` to `out`.
void write_to(const Value& value, TextSink& out);
void write_to(const Value& value, std::string& out);
// Appends `text` as a JSON string, quoted and escaped as above.
void write_string_to(std::string_view text, TextSink& out);
// Appends the decimal text of an integer, or the text of a finite float.
void write_number_to(std::uint64_t n, TextSink& out);
void write_number_to(std::int64_t n, TextSink& out);
void write_number_to(double x, TextSink& out);

}  // namespace revizer::json
