#pragma once

// The envelope of one step of an agent's trajectory: which step and
// trajectory, the agent with its card, when, the typed payload, who
// triggered it, its place in the causation chain, the provider's call id and
// the sub-agent that executes it. The codec validates no identifier; the JSON
// form is described in event_record.h.

#include <optional>
#include <string>

#include "model/agent/agent.h"
#include "model/event/context.h"
#include "model/event/timestamp.h"
#include "model/event/trajectory_event.h"

namespace revizer::event {

struct Event {
  std::string event_id;
  std::string trajectory_id;
  agent::Agent agent;
  Timestamp timestamp;
  TrajectoryEvent event;
  Actor actor;
  Causality causality;
  std::optional<std::string> provider_call_id;  // present and empty stays present
  std::optional<ExecutionAttribution> execution;

  friend bool operator==(const Event&, const Event&) = default;
};

}  // namespace revizer::event
