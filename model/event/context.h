#pragma once

// The context records of an event envelope: who triggered the step, its
// place in the causation chain and the sub-agent that executes it (the JSON
// forms are in context_record.h).

#include <optional>
#include <string>
#include <vector>

#include "model/event/event_enums.h"

namespace revizer::event {

struct Actor {
  std::string id;
  ActorType actor_type = ActorType::Human;

  friend bool operator==(const Actor&, const Actor&) = default;
};

struct Causality {
  std::string correlation_id;
  std::optional<std::string> causation_id;
  std::optional<std::string> parent_id;

  friend bool operator==(const Causality&, const Causality&) = default;
};

struct ExecutionAttribution {
  std::string agent_name;
  std::vector<std::string> agent_path;

  friend bool operator==(const ExecutionAttribution&, const ExecutionAttribution&) = default;
};

}  // namespace revizer::event
