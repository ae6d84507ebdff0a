#pragma once

// The one error of the JSON layer: the text reader and every record codec
// return it. Only the text reader sets a position (line and column from 1);
// codec errors keep both at 0 and never carry a path.

#include <cstdint>
#include <string>

namespace revizer::json {

struct CodecError {
  std::string message;
  std::uint64_t line = 0;
  std::uint64_t column = 0;

  // The text users see: the message, plus " at line {} column {}" when the
  // reader gave a position.
  std::string to_string() const {
    if (line == 0) return message;
    return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
  }

  friend bool operator==(const CodecError&, const CodecError&) = default;
};

}  // namespace revizer::json
