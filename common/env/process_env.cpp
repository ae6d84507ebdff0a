#include "common/env/process_env.h"

#include <cstdlib>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "platform/process_events.h"
#include "text/utf8_bytes.h"

namespace revizer::common {
namespace {

// Never destroyed (worker threads may read the environment while the
// process exits), and never left held in a forked child.
std::shared_mutex& env_lock() {
  static auto* const lock = new platform::ForkSafe<std::shared_mutex>;
  return *lock;
}

// Caller holds the lock (either mode).
std::optional<std::string> read_locked(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

std::optional<std::string> env_read_bytes(std::string_view name) {
  const std::string key(name);
  std::shared_lock hold(env_lock());
  return read_locked(key);
}

std::optional<std::string> env_read_text(std::string_view name) {
  auto value = env_read_bytes(name);
  if (value && !unicode::is_valid_utf8(*value)) return std::nullopt;
  return value;
}

void env_write_unless_text(std::string_view name, std::string_view value) {
  const std::string key(name), text(value);
  std::unique_lock hold(env_lock());
  const auto current = read_locked(key);
  if (current && unicode::is_valid_utf8(*current)) return;
  ::setenv(key.c_str(), text.c_str(), 1);
}

}  // namespace revizer::common
