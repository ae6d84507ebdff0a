#pragma once

// An operating-system I/O failure as a value: its error number (0 for the
// fixed texts that have none) and its printed text, "<message> (os error N)".

#include <string>
#include <string_view>

namespace revizer::platform {

struct IoError {
  int os_code = 0;
  std::string text;

  // The system's message for `code` followed by " (os error {code})".
  static IoError from_errno(int code);
  // A fixed text without an error number, such as "failed to write whole buffer".
  static IoError custom(std::string text);

  // The same error about a temporary file: " at path " and the quoted path.
  IoError at_path(std::string_view path) const;
};

// `text` in double quotes with backslash escapes for quotes, backslashes and
// control characters; bytes that are not UTF-8 print as \xNN.
std::string quote_debug(std::string_view text);

}  // namespace revizer::platform
