#include "common/env/env_line.h"

#include "text/white_space.h"

namespace revizer::common {
namespace {

constexpr std::string_view kExportPrefix = "export ";

bool needs_quotes(std::string_view value) {
  if (value.empty()) return false;
  const char first = value.front();
  if (is_env_blank(first) || first == '"' || first == '\'') return true;
  if (is_env_blank(value.back())) return true;
  return value.find('#') != std::string_view::npos;
}

}  // namespace

std::optional<std::string_view> env_line_key(std::string_view line) {
  std::string_view rest = unicode::trim_white_space(line);
  if (rest.empty() || rest.front() == '#') return std::nullopt;
  if (rest.starts_with(kExportPrefix)) rest = unicode::trim_white_space_start(rest.substr(kExportPrefix.size()));
  const auto equals = rest.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view key = unicode::trim_white_space_end(rest.substr(0, equals));
  if (key.empty()) return std::nullopt;
  return key;
}

std::string format_env_line(std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  if (!needs_quotes(value)) {
    line += value;
    return line;
  }
  line += '"';
  for (const char c : value) {
    if (c == '"' || c == '\\') line += '\\';
    line += c;
  }
  line += '"';
  return line;
}

}  // namespace revizer::common
