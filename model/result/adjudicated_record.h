#pragma once

// The JSON descriptions of Adjudicated and Steering. The event model reads an
// Adjudicated control payload whose data came before its type with
// json::decode<Adjudicated>(value, json::Mode::Buffered).

#include "model/json/record.h"
#include "model/result/adjudicated.h"
#include "model/result/guardrails_record.h"
#include "model/result/policy_record.h"

namespace revizer::result {

namespace record {

using namespace json::describe;

inline constexpr json::Record kSteering{"struct Steering",
                                        field<Always, Required>("instructions", &Steering::instructions),
                                        field<Always, Required>("explanation", &Steering::explanation)};

inline constexpr json::Record kAdjudicated{
    "struct Adjudicated",
    field<Always, Required>("decision", &Adjudicated::decision),
    field<Always, Default>("mode", &Adjudicated::mode),
    field<WhenPresent, Optional>("reason", &Adjudicated::reason),
    field<WhenNonEmpty, Default>("metadata", &Adjudicated::metadata),
    field<WhenPresent, Optional>("guardrails", &Adjudicated::guardrails),
    field<WhenPresent, Optional>("steering", &Adjudicated::steering),
    field<WhenNonEmpty, Default>("policy_sources", &Adjudicated::policy_sources)};

}  // namespace record

constexpr const auto& json_record(const Steering*) { return record::kSteering; }
constexpr const auto& json_record(const Adjudicated*) { return record::kAdjudicated; }

}  // namespace revizer::result
