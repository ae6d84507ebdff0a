#pragma once

// The JSON form of the envelope: seven keys always written, then
// "provider_call_id" and "execution" only when present. Callers normalise an
// envelope (envelope_normalization.h) before decoding it.

#include "model/agent/agent_record.h"
#include "model/event/context_record.h"
#include "model/event/event.h"
#include "model/event/timestamp_json.h"
#include "model/event/trajectory_event.h"
#include "model/json/record.h"

namespace revizer::event {

namespace record {

using namespace json::describe;

inline constexpr json::Record kEvent{"struct Event",
                                     field<Always, Required>("event_id", &Event::event_id),
                                     field<Always, Required>("trajectory_id", &Event::trajectory_id),
                                     field<Always, Required>("agent", &Event::agent),
                                     field<Always, Required>("timestamp", &Event::timestamp),
                                     field<Always, Required>("event", &Event::event),
                                     field<Always, Required>("actor", &Event::actor),
                                     field<Always, Required>("causality", &Event::causality),
                                     field<WhenPresent, Optional>("provider_call_id", &Event::provider_call_id),
                                     field<WhenPresent, Optional>("execution", &Event::execution)};

}  // namespace record

constexpr const auto& json_record(const Event*) { return record::kEvent; }

}  // namespace revizer::event
