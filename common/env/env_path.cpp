#include "common/env/env_path.h"

#include <filesystem>
#include <optional>

#include "common/env/process_env.h"
#include "platform/user_home.h"

namespace revizer::common {
namespace {

std::optional<std::string> nonempty_bytes(std::string_view name) {
  auto value = env_read_bytes(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

}  // namespace

std::string join_path(std::string_view directory, std::string_view relative) {
  std::string out(directory);
  if (!out.empty() && out.back() != '/') out += '/';
  out += relative;
  return out;
}

std::string parent_path(std::string_view path) {
  return std::filesystem::path(path).parent_path().string();
}

Result<std::string, EnvError> resolve_env_file_path() {
  if (auto dir = nonempty_bytes("TAVIMOR_USER_CONFIG_DIR")) return join_path(*dir, "env");
  if (auto dir = nonempty_bytes("TAVIMOR_HOME_DIR")) return join_path(*dir, ".tavimor/env");
  if (auto dir = nonempty_bytes("HOME")) return join_path(*dir, ".tavimor/env");
  if (auto dir = platform::user_database_home()) return join_path(*dir, ".tavimor/env");
  return fail(EnvError::message("Could not determine home directory"));
}

}  // namespace revizer::common
