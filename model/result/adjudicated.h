#pragma once

// The service's verdict on one step of a trajectory: the result of every
// adjudication and the payload of the Adjudicated control event. Plain data;
// no relation between the fields is checked (steering in an allow result is
// kept like any other). JSON forms in adjudicated_record.h.

#include <optional>
#include <string>
#include <vector>

#include "model/result/decision.h"
#include "model/result/guardrails.h"
#include "model/result/policy.h"

namespace revizer::result {

// "LLM-generated steering instructions (populated only in Steer mode on deny)."
struct Steering {
  std::vector<std::string> instructions;
  std::string explanation;

  friend bool operator==(const Steering&, const Steering&) = default;
};

// "Policy evaluation result (control event)."
struct Adjudicated {
  Decision decision = Decision::Allow;
  Mode mode = Mode::Monitor;
  std::optional<std::string> reason;
  std::vector<PolicyMetadata> metadata;
  std::optional<GuardrailResults> guardrails;
  std::optional<Steering> steering;
  std::vector<PolicySetProvenance> policy_sources;

  friend bool operator==(const Adjudicated&, const Adjudicated&) = default;
};

}  // namespace revizer::result
