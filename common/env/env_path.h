#pragma once

#include <string>
#include <string_view>

#include "common/env/env_error.h"
#include "support/result.h"

namespace revizer::common {

// Where the user env file lives, first match wins: "env" in
// TAVIMOR_USER_CONFIG_DIR, ".tavimor/env" under TAVIMOR_HOME_DIR, under HOME,
// or under the user database's home. The variables are raw bytes; empty
// counts as unset. Fails with "Could not determine home directory".
Result<std::string, EnvError> resolve_env_file_path();

// `directory` + "/" + `relative`, without doubling a trailing "/".
std::string join_path(std::string_view directory, std::string_view relative);

// The parent directory of `path` ("" when it has none), as a path-component
// view: "a/b" -> "a", "/a" -> "/", "a" -> "".
std::string parent_path(std::string_view path);

}  // namespace revizer::common
