#pragma once

// Steps in the life of an agent run: the lifecycle payloads of the Control
// category. Failed and Suspended have the same shape; only their variant in
// the Control union tells them apart (the JSON forms are in
// lifecycle_record.h).

#include <optional>
#include <string>

#include "model/agent/agent.h"

namespace revizer::event {

// The agent started, with its card.
struct Started {
  agent::Agent agent;
  std::optional<std::string> task;

  friend bool operator==(const Started&, const Started&) = default;
};

// The run completed successfully.
struct Completed {
  std::optional<std::string> summary;

  friend bool operator==(const Completed&, const Completed&) = default;
};

// The run failed.
struct Failed {
  std::string reason;

  friend bool operator==(const Failed&, const Failed&) = default;
};

// The run was ended from outside.
struct Terminated {
  std::string reason;
  std::string terminated_by;

  friend bool operator==(const Terminated&, const Terminated&) = default;
};

// The run was suspended.
struct Suspended {
  std::string reason;

  friend bool operator==(const Suspended&, const Suspended&) = default;
};

// The run was resumed.
struct Resumed {
  std::string resumed_by;

  friend bool operator==(const Resumed&, const Resumed&) = default;
};

}  // namespace revizer::event
