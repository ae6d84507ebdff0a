#include "common/env/env_rewrite.h"

#include <filesystem>
#include <mutex>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "common/env/env_line.h"
#include "common/env/env_path.h"
#include "common/env/temp_file.h"
#include "platform/files.h"
#include "text/utf8_bytes.h"

namespace revizer::common {
namespace {

namespace fs = std::filesystem;

std::string shown(const std::string& path) { return unicode::decode_utf8_lossy(path); }

IoError io_error(const std::error_code& ec) { return IoError::from_errno(ec.value()); }

// Follows `path` one level when it is a symbolic link.
Result<std::string, EnvError> resolve_target(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  const fs::path link = fs::read_symlink(path, ec);
  if (ec) return fail(EnvError::context("Failed to read symlink " + shown(path), io_error(ec)));
  if (link.is_absolute()) return link.string();
  return (fs::path(path).parent_path() / link).string();
}

Result<std::string, EnvError> read_old_content(const std::string& target) {
  if (!platform::exists(target)) return std::string();
  auto content = platform::read_file(target);
  if (!content) return fail(EnvError::context("Failed to read " + shown(target), content.error()));
  if (!unicode::is_valid_utf8(*content)) {
    return fail(EnvError::context("Failed to read " + shown(target), IoError::custom("stream did not contain valid UTF-8")));
  }
  return std::move(*content);
}

std::vector<std::string_view> split_lines(std::string_view content) {
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    const auto end = content.find('\n');
    std::string_view line = content.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return lines;
}

std::string rewrite(std::string_view old_content, const EnvUpdates& updates) {
  const std::string_view content = without_byte_order_mark(old_content);
  std::string out(old_content.substr(0, old_content.size() - content.size()));
  std::unordered_set<std::string_view> seen;
  bool any_line = false;
  const auto add = [&](std::string_view line) {
    if (any_line) out += '\n';
    out += line;
    any_line = true;
  };
  for (const std::string_view line : split_lines(content)) {
    const auto key = env_line_key(line);
    const EnvUpdates::Entry* update = key ? updates.find(*key) : nullptr;
    if (update == nullptr) {
      add(line);
      continue;
    }
    seen.insert(update->key);
    if (update->value) add(format_env_line(update->key, *update->value));
  }
  for (const auto& entry : updates.entries()) {
    if (entry.value && !seen.contains(entry.key)) add(format_env_line(entry.key, *entry.value));
  }
  out += '\n';
  return out;
}

Result<std::string, EnvError> temp_directory_for(const std::string& target) {
  const fs::path parent = fs::path(target).parent_path();
  if (parent.is_absolute()) return parent.string();
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) return fail(EnvError::context("Failed to create temp file in " + shown(parent.string()), io_error(ec)));
  return parent.empty() ? cwd.string() : (cwd / parent).string();
}

std::mutex& rewrite_lock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

Result<std::string, EnvError> apply_env_updates(const std::string& path, const EnvUpdates& updates) {
  std::lock_guard serialised(rewrite_lock());

  auto target = resolve_target(path);
  if (!target) return target;

  const std::string parent = parent_path(*target);
  if (!parent.empty()) {
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) return fail(EnvError::context("Failed to create directory " + shown(parent), io_error(ec)));
  }

  auto old_content = read_old_content(*target);
  if (!old_content) return fail(std::move(old_content).error());
  const std::string output = rewrite(*old_content, updates);

  auto directory = temp_directory_for(*target);
  if (!directory) return fail(std::move(directory).error());
  auto temp = TempFile::create_in(*directory);
  if (!temp) return fail(std::move(temp).error());

  if (auto written = platform::write_all(temp->fd(), output); !written) {
    return fail(EnvError::context("Failed to write to temp file", written.error().at_path(temp->path())));
  }
  if (auto moded = platform::set_mode(temp->fd(), 0600); !moded) {
    return fail(EnvError::context("Failed to set permissions on temp file", moded.error().at_path(temp->path())));
  }
  // The data must be on disk before the rename makes it the env file, or a
  // crash right after could leave an empty file in its place.
  if (auto synced = platform::sync_file(temp->fd()); !synced) {
    return fail(EnvError::context("Failed to write to temp file", synced.error().at_path(temp->path())));
  }
  if (auto persisted = temp->persist(*target); !persisted) {
    return fail(EnvError::context("Failed to persist temp file to " + shown(*target),
                                  "failed to persist temporary file: " + persisted.error().text));
  }
  // Make the rename itself durable. The file is already replaced; a file
  // system that cannot sync directories is no reason to report a failure.
  (void)platform::sync_directory(*directory);
  return std::move(*target);
}

}  // namespace revizer::common
