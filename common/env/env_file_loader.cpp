#include "common/env/env_file_loader.h"

#include <optional>

#include "common/env/env_line.h"
#include "common/env/process_env.h"
#include "platform/files.h"
#include "text/properties.h"
#include "text/utf8_bytes.h"
#include "text/white_space.h"

namespace revizer::common {
namespace {

constexpr std::string_view kExportPrefix = "export ";

// Parses one line; `failed_at` receives the byte index of a failure.
class LineParser {
 public:
  explicit LineParser(std::string_view line) : line_(line) {}

  // Nothing for a line without an entry; an index on failure.
  Result<std::optional<EnvEntry>, std::size_t> parse() {
    skip_white_space();
    if (at_end() || peek() == '#') return std::optional<EnvEntry>();
    if (line_.substr(pos_).starts_with(kExportPrefix)) {
      pos_ += kExportPrefix.size();
      skip_white_space();
    }
    const std::size_t key_start = pos_;
    const std::size_t equals = line_.find('=', pos_);
    if (equals == std::string_view::npos) return fail(line_.size());
    const std::string_view key = unicode::trim_white_space_end(line_.substr(key_start, equals - key_start));
    if (key.empty()) return fail(key_start);
    if (const auto space = first_white_space(key)) return fail(key_start + *space);
    pos_ = equals + 1;
    skip_blanks();

    auto value = at_end() ? Result<std::string, std::size_t>(std::string())
                 : peek() == '"'  ? double_quoted()
                 : peek() == '\'' ? single_quoted()
                                  : unquoted();
    if (!value) return fail(value.error());
    return std::optional<EnvEntry>(EnvEntry{std::string(key), std::move(*value)});
  }

 private:
  bool at_end() const { return pos_ >= line_.size(); }
  char peek() const { return line_[pos_]; }

  void skip_blanks() {
    while (!at_end() && is_env_blank(peek())) ++pos_;
  }
  void skip_white_space() { pos_ = line_.size() - unicode::trim_white_space_start(line_.substr(pos_)).size(); }

  static std::optional<std::size_t> first_white_space(std::string_view key) {
    for (std::size_t i = 0; i < key.size();) {
      const unicode::Decoded d = unicode::decode_utf8_at(key, i);
      if (d.length == 0) return std::nullopt;
      if (unicode::is_white_space(d.code_point)) return i;
      i += d.length;
    }
    return std::nullopt;
  }

  Result<std::string, std::size_t> unquoted() {
    const std::size_t start = pos_;
    std::size_t end = line_.size();
    for (std::size_t i = start; i < line_.size(); ++i) {
      if (line_[i] == '#' && (i == start || is_env_blank(line_[i - 1]))) {
        end = i;
        break;
      }
    }
    std::string_view value = line_.substr(start, end - start);
    while (!value.empty() && is_env_blank(value.back())) value.remove_suffix(1);
    return std::string(value);
  }

  Result<std::string, std::size_t> single_quoted() {
    const std::size_t close = line_.find('\'', pos_ + 1);
    if (close == std::string_view::npos) return fail(line_.size());
    std::string value(line_.substr(pos_ + 1, close - pos_ - 1));
    pos_ = close + 1;
    return finish(std::move(value));
  }

  Result<std::string, std::size_t> double_quoted() {
    std::string value;
    for (std::size_t i = pos_ + 1; i < line_.size(); ++i) {
      const char c = line_[i];
      if (c == '"') {
        pos_ = i + 1;
        return finish(std::move(value));
      }
      if (c != '\\' || i + 1 == line_.size()) {
        value += c;
        continue;
      }
      const char next = line_[++i];
      switch (next) {
        case '\\': case '"': case '\'': case '$': value += next; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        default: value += '\\'; value += next;
      }
    }
    return fail(line_.size());
  }

  // After a closing quote: blanks, then the end or a comment.
  Result<std::string, std::size_t> finish(std::string value) {
    skip_blanks();
    if (!at_end() && peek() != '#') return fail(pos_);
    return value;
  }

  std::string_view line_;
  std::size_t pos_ = 0;
};

}  // namespace

Status<EnvError> for_each_env_entry(std::string_view content, const std::function<void(EnvEntry&&)>& visit) {
  content = without_byte_order_mark(content);
  while (!content.empty()) {
    const auto end = content.find('\n');
    std::string_view line = content.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    auto parsed = LineParser(line).parse();
    if (!parsed) {
      return fail(EnvError::env_file_parse("Error parsing line: '" + std::string(line) +
                                           "', error at line index: " + std::to_string(parsed.error())));
    }
    if (*parsed) visit(std::move(**parsed));
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return Ok{};
}

Status<EnvError> load_env_file(const std::string& path) {
  auto content = platform::read_file(path);
  if (!content) return fail(EnvError::env_file_parse(content.error().text));
  if (!unicode::is_valid_utf8(*content)) return fail(EnvError::env_file_parse("stream did not contain valid UTF-8"));
  return for_each_env_entry(*content, [](EnvEntry&& entry) { env_write_unless_text(entry.key, entry.value); });
}

}  // namespace revizer::common
