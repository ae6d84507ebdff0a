#pragma once

// The JSON descriptions of PolicyMetadata, PolicyProvenance and
// PolicySetProvenance.

#include "model/json/record.h"
#include "model/result/policy.h"

namespace revizer::result {

namespace record {

using namespace json::describe;

inline constexpr json::Record kPolicyMetadata{
    "struct PolicyMetadata",
    field<WhenPresent, Optional>("policy_id", &PolicyMetadata::policy_id),
    field<WhenPresent, Optional>("description", &PolicyMetadata::description),
    field<WhenTrue, Default>("escalate", &PolicyMetadata::escalate),
    field<WhenPresent, Optional>("escalate_arg", &PolicyMetadata::escalate_arg),
    field<WhenNonEmpty, Default>("metadata", &PolicyMetadata::metadata)};

inline constexpr json::Record kPolicyProvenance{"struct PolicyProvenance",
                                                field<Always, Required>("name", &PolicyProvenance::name),
                                                field<WhenNonEmpty, Default>("labels", &PolicyProvenance::labels)};

inline constexpr json::Record kPolicySetProvenance{
    "struct PolicySetProvenance",
    field<Always, Required>("name", &PolicySetProvenance::name),
    field<WhenPresent, DefaultAbsent>("version", &PolicySetProvenance::version),
    field<WhenPresent, DefaultAbsent>("revision", &PolicySetProvenance::revision),
    field<WhenPresent, DefaultAbsent>("digest", &PolicySetProvenance::digest),
    field<WhenNonEmpty, Default>("labels", &PolicySetProvenance::labels),
    field<WhenNonEmpty, Default>("policies", &PolicySetProvenance::policies)};

}  // namespace record

constexpr const auto& json_record(const PolicyMetadata*) { return record::kPolicyMetadata; }
constexpr const auto& json_record(const PolicyProvenance*) { return record::kPolicyProvenance; }
constexpr const auto& json_record(const PolicySetProvenance*) { return record::kPolicySetProvenance; }

}  // namespace revizer::result
