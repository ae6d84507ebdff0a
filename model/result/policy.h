#pragma once

// The policies behind a verdict: the metadata of each matched policy and the
// provenance of each evaluated policy set. Plain data from the service,
// stored and written back unchanged: no digest is checked, no version
// compared, no label interpreted. JSON forms in policy_record.h.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/json/keyed_hash.h"

namespace revizer::result {

// "Cedar policy metadata."
struct PolicyMetadata {
  std::optional<std::string> policy_id;
  std::optional<std::string> description;
  // Whether this policy requires escalation to a human or other oracle.
  bool escalate = false;
  // The argument given with the policy's escalation annotation, if any.
  std::optional<std::string> escalate_arg;
  json::HashMap<std::string> metadata;

  friend bool operator==(const PolicyMetadata&, const PolicyMetadata&) = default;
};

// One policy of an evaluated policy set.
struct PolicyProvenance {
  std::string name;
  std::map<std::string, std::string> labels;

  friend bool operator==(const PolicyProvenance&, const PolicyProvenance&) = default;
};

// "Exact server-resolved policy-set revision evaluated for a decision."
struct PolicySetProvenance {
  std::string name;
  std::optional<std::int64_t> version;
  std::optional<std::string> revision;
  std::optional<std::string> digest;
  std::map<std::string, std::string> labels;
  std::vector<PolicyProvenance> policies;

  friend bool operator==(const PolicySetProvenance&, const PolicySetProvenance&) = default;
};

}  // namespace revizer::result
