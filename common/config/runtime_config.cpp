#include "common/config/runtime_config.h"

#include "common/env/env_file_loader.h"
#include "common/env/env_path.h"
#include "common/env/process_env.h"
#include "platform/files.h"
#include "text/ascii.h"
#include "text/utf8_bytes.h"
#include "text/white_space.h"

namespace revizer::common {
namespace {

constexpr std::string_view kCredentialSource = "TAVIMOR_CREDENTIAL_SOURCE";
constexpr std::string_view kWindowsDpapi = "windows_dpapi";

Status<EnvError> load_if_present(const std::string& path) {
  if (!platform::exists(path)) return Ok{};
  return load_env_file(path);
}

Status<EnvError> load_env_files(const std::optional<std::string>& managed_dir) {
  if (managed_dir) {
    const std::string managed_env = join_path(*managed_dir, "env");
    if (platform::exists(managed_env)) {
      if (auto loaded = load_env_file(managed_env); !loaded) return loaded;
      // With the managed file in place, a user file we cannot locate is skipped.
      auto user_path = resolve_env_file_path();
      if (!user_path) return Ok{};
      return load_if_present(*user_path);
    }
  }
  auto user_path = resolve_env_file_path();
  if (!user_path) return fail(std::move(user_path).error());
  return load_if_present(*user_path);
}

// The Windows-protected credential file cannot be decrypted on this platform:
// each outcome is an error, told apart only to say what is wrong.
EnvError windows_credential_error(const std::string& managed_dir) {
  const std::string path = join_path(join_path(managed_dir, "credentials"), "runtime-api-token.dpapi");
  const std::string shown = unicode::decode_utf8_lossy(path);
  if (!platform::exists(path)) {
    return EnvError::message(std::string(kCredentialSource) + "=" + std::string(kWindowsDpapi) +
                             " is configured but " + shown + " is missing");
  }
  if (auto bytes = platform::read_file(path); !bytes) {
    return EnvError::context("failed to read Windows DPAPI credential " + shown, bytes.error());
  }
  return EnvError::context("failed to decrypt Windows DPAPI credential " + shown,
                           EnvError::message("Windows DPAPI credential loading is only supported on Windows"));
}

}  // namespace

std::optional<std::string> read_nonempty_env(std::string_view name) {
  auto value = env_read_text(name);
  if (!value || unicode::trim_white_space(*value).empty()) return std::nullopt;
  return value;
}

std::optional<std::string> windows_managed_config_dir() {
  auto dir = env_read_bytes("TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR");
  if (!dir || dir->empty()) return std::nullopt;
  return dir;
}

std::string resolve_endpoint(std::string_view name, std::string_view fallback) {
  std::string endpoint = env_read_text(name).value_or(std::string(fallback));
  if (endpoint.find("://") == std::string::npos) endpoint = "https://" + endpoint;
  return endpoint;
}

Result<RuntimeConfig, EnvError> load_runtime_config() {
  std::optional<std::string> api_token = read_nonempty_env("TAVIMOR_API_TOKEN");
  const std::optional<std::string> managed_dir = windows_managed_config_dir();
  if (auto loaded = load_env_files(managed_dir); !loaded) return fail(std::move(loaded).error());

  RuntimeConfig config;
  config.revizer_endpoint = resolve_endpoint("TAVIMOR_REVIZER_ENDPOINT", kDefaultRevizerEndpoint);
  if (!api_token) {
    const auto source = read_nonempty_env(kCredentialSource);
    if (source && unicode::equals_ignoring_ascii_case(*source, kWindowsDpapi) && managed_dir) {
      return fail(windows_credential_error(*managed_dir));
    }
    api_token = read_nonempty_env("TAVIMOR_API_TOKEN");
  }
  config.api_token = std::move(api_token);
  config.iap_token = read_nonempty_env("TAVIMOR_IAP_TOKEN");
  return config;
}

}  // namespace revizer::common
