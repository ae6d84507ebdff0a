#pragma once

// The JSON descriptions of the lifecycle payloads: every key always written,
// an absent text as null.

#include "model/agent/agent_record.h"
#include "model/event/lifecycle.h"
#include "model/json/record.h"

namespace revizer::event {

namespace record {

using namespace json::describe;

inline constexpr json::Record kStarted{"struct Started", field<Always, Required>("agent", &Started::agent),
                                       field<Always, Optional>("task", &Started::task)};

inline constexpr json::Record kCompleted{"struct Completed", field<Always, Optional>("summary", &Completed::summary)};

inline constexpr json::Record kFailed{"struct Failed", field<Always, Required>("reason", &Failed::reason)};

inline constexpr json::Record kTerminated{"struct Terminated",
                                          field<Always, Required>("reason", &Terminated::reason),
                                          field<Always, Required>("terminated_by", &Terminated::terminated_by)};

inline constexpr json::Record kSuspended{"struct Suspended", field<Always, Required>("reason", &Suspended::reason)};

inline constexpr json::Record kResumed{"struct Resumed", field<Always, Required>("resumed_by", &Resumed::resumed_by)};

}  // namespace record

constexpr const auto& json_record(const Started*) { return record::kStarted; }
constexpr const auto& json_record(const Completed*) { return record::kCompleted; }
constexpr const auto& json_record(const Failed*) { return record::kFailed; }
constexpr const auto& json_record(const Terminated*) { return record::kTerminated; }
constexpr const auto& json_record(const Suspended*) { return record::kSuspended; }
constexpr const auto& json_record(const Resumed*) { return record::kResumed; }

}  // namespace revizer::event
