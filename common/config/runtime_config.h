#pragma once

// What a client needs to reach the revizer service, drawn from the process
// environment after the env files have filled in unset variables.

#include <optional>
#include <string>
#include <string_view>

#include "common/env/env_error.h"
#include "support/result.h"

namespace revizer::common {

inline constexpr std::string_view kDefaultRevizerEndpoint = "http://127.0.0.1:50051";

struct RuntimeConfig {
  std::string revizer_endpoint;
  std::optional<std::string> api_token;
  std::optional<std::string> iap_token;
};

// Loads the managed directory's env file and the user env file into the
// process environment (never replacing a set variable), then resolves the
// endpoint and the tokens.
Result<RuntimeConfig, EnvError> load_runtime_config();

// The variable's untrimmed value when it holds text that is not blank once
// white space is trimmed; otherwise nothing.
std::optional<std::string> read_nonempty_env(std::string_view name);

// TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR (raw bytes) when set and not empty.
std::optional<std::string> windows_managed_config_dir();

// The variable's text (even when empty) else `fallback`; "https://" goes in
// front of a result without "://".
std::string resolve_endpoint(std::string_view name, std::string_view fallback);

}  // namespace revizer::common
