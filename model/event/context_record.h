#pragma once

// The JSON descriptions of Actor, Causality and ExecutionAttribution.

#include "model/event/context.h"
#include "model/json/record.h"

namespace revizer::event {

namespace record {

using namespace json::describe;

inline constexpr json::Record kActor{"struct Actor",
                                     field<Always, Required>("id", &Actor::id),
                                     field<Always, Required>("actor_type", &Actor::actor_type)};

inline constexpr json::Record kCausality{"struct Causality",
                                         field<Always, Required>("correlation_id", &Causality::correlation_id),
                                         field<Always, Optional>("causation_id", &Causality::causation_id),
                                         field<Always, Optional>("parent_id", &Causality::parent_id)};

inline constexpr json::Record kExecutionAttribution{
    "struct ExecutionAttribution",
    field<Always, Required>("agent_name", &ExecutionAttribution::agent_name),
    field<WhenNonEmpty, Default>("agent_path", &ExecutionAttribution::agent_path)};

}  // namespace record

constexpr const auto& json_record(const Actor*) { return record::kActor; }
constexpr const auto& json_record(const Causality*) { return record::kCausality; }
constexpr const auto& json_record(const ExecutionAttribution*) { return record::kExecutionAttribution; }

}  // namespace revizer::event
