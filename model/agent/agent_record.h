#pragma once

// The JSON descriptions of Agent (four required keys) and AgentCard
// (externally tagged: {"ReActAgentCard": {...}} or {"CodingAgentCard": {...}}).

#include "model/agent/agent.h"
#include "model/agent/coding_card_record.h"
#include "model/agent/react_card_record.h"
#include "model/json/external_union.h"
#include "model/json/record.h"

namespace revizer::agent {

namespace record {

using namespace json::describe;

inline constexpr json::ExternalUnion<AgentCard> kAgentCard{{"ReActAgentCard", "CodingAgentCard"}};

inline constexpr json::Record kAgent{"struct Agent",
                                     field<Always, Required>("id", &Agent::id),
                                     field<Always, Required>("provider", &Agent::provider),
                                     field<Always, Required>("platform", &Agent::platform),
                                     field<Always, Required>("card", &Agent::card)};

}  // namespace record

// Found by argument-dependent lookup through the variant's alternatives.
constexpr const auto& json_record(const AgentCard*) { return record::kAgentCard; }
constexpr const auto& json_record(const Agent*) { return record::kAgent; }

}  // namespace revizer::agent
