#pragma once

// JSON text -> Value. Errors carry the reader's texts with a line and a
// column ("trailing characters at line 1 column 3"). At most 127 levels of
// arrays and objects nest; the 128th fails with "recursion limit exceeded".
// Integers beyond the 64-bit ranges, and -0, are read as floats. A key that
// repeats keeps its first position and takes its last value.

#include <string_view>

#include "model/json/codec_error.h"
#include "model/json/value.h"
#include "support/result.h"

namespace revizer::json {

Result<Value, CodecError> parse(std::string_view text);

}  // namespace revizer::json
