#pragma once

// The env-file loader: reads `KEY=value` lines into the process environment,
// never replacing a variable that already holds text.
//
// Syntax: blank lines and lines starting with "#" are skipped; a line may
// start with "export "; the key is the text before the first "=" (no white
// space inside). A value is either unquoted (blanks around it trimmed, a "#"
// at its start or after a blank starts a comment, everything else literal:
// no escapes, no variable substitution), single-quoted (literal), or
// double-quoted (backslash escapes \\ \" \' \$ \n \r \t; any other backslash
// stays as written). After a closing quote only blanks and a comment may
// follow. These rules read back every line the rewrite writes.

#include <functional>
#include <string>
#include <string_view>

#include "common/env/env_error.h"
#include "support/result.h"

namespace revizer::common {

struct EnvEntry {
  std::string key;
  std::string value;
};

// Calls `visit` for each entry of `content` in order, stopping at the first
// line that cannot be parsed ("Error parsing line: '{}', error at line index: {}").
Status<EnvError> for_each_env_entry(std::string_view content, const std::function<void(EnvEntry&&)>& visit);

// Loads the file at `path` into the process environment. Entries set before a
// failing line stay set. Every failure is an `EnvFileParse` error.
Status<EnvError> load_env_file(const std::string& path);

}  // namespace revizer::common
