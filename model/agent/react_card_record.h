#pragma once

// The JSON descriptions of ReActAgentCard and ReActSubAgentDescriptor. No
// key of the card is required, and only a sub-agent's name is; empty texts
// and lists are left out when written.

#include "model/agent/react_card.h"
#include "model/agent/tool_record.h"
#include "model/json/record.h"

namespace revizer::agent {

namespace record {

using namespace json::describe;

inline constexpr json::Record kReActSubAgentDescriptor{
    "struct ReActSubAgentDescriptor",
    field<Always, Required>("name", &ReActSubAgentDescriptor::name),
    field<WhenNonEmpty, Default>("parent_path", &ReActSubAgentDescriptor::parent_path),
    field<WhenNonEmpty, Default>("description", &ReActSubAgentDescriptor::description),
    field<WhenPresent, DefaultAbsent>("model", &ReActSubAgentDescriptor::model),
    field<WhenNonEmpty, Default>("collaboration_mode", &ReActSubAgentDescriptor::collaboration_mode),
    field<WhenNonEmpty, Default>("owned_tool_names", &ReActSubAgentDescriptor::owned_tool_names)};

inline constexpr json::Record kReActAgentCard{
    "struct ReActAgentCard",
    field<WhenPresent, DefaultAbsent>("model", &ReActAgentCard::model),
    field<WhenNonEmpty, Default>("system_instruction", &ReActAgentCard::system_instruction),
    field<WhenNonEmpty, Default>("tools", &ReActAgentCard::tools),
    field<WhenNonEmpty, Default>("sub_agents", &ReActAgentCard::sub_agents)};

}  // namespace record

constexpr const auto& json_record(const ReActSubAgentDescriptor*) { return record::kReActSubAgentDescriptor; }
constexpr const auto& json_record(const ReActAgentCard*) { return record::kReActAgentCard; }

}  // namespace revizer::agent
