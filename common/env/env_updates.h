#pragma once

// A set of changes for the env file, checked on the way in: only keys and
// values that cannot break the file's line structure are accepted, so the
// rewrite can never corrupt the file or smuggle in another setting.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/result.h"

namespace revizer::common {

// A refused key or value: which key, and the text to show the caller.
struct InvalidEnvUpdate {
  std::string key;
  std::string text;
};

class EnvUpdates {
 public:
  struct Entry {
    std::string key;
    std::optional<std::string> value;  // nothing: remove the key
  };

  // Adds or replaces one change. Refuses a key that is empty or holds "=",
  // "#", white space, a line break or NUL, and a value holding a line break
  // or NUL; the set is unchanged then.
  Status<InvalidEnvUpdate> set(std::string key, std::optional<std::string> value);

  // Nothing when the key is not in the set; otherwise the change.
  const Entry* find(std::string_view key) const;
  // Changes in the order they were first added.
  const std::vector<Entry>& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

// The checks of `EnvUpdates::set`, usable before anything else is done.
Status<InvalidEnvUpdate> check_env_update(std::string_view key, const std::optional<std::string>& value);

}  // namespace revizer::common
