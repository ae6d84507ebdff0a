#pragma once

// A full snapshot of the agent's environment: the payload of the State
// category (its JSON form is in snapshot_record.h).

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/json/value.h"

namespace revizer::event {

struct Snapshot {
  std::string snapshot_id;
  std::optional<std::string> working_dir;
  std::vector<std::string> open_files;
  std::optional<std::string> git_branch;
  // Named values of the environment, any JSON value each. Unordered: written
  // in the map's own iteration order, which nothing may rely on.
  std::unordered_map<std::string, json::Value> variables;

  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

}  // namespace revizer::event
