#pragma once

// The JSON descriptions of CodingAgentCard, AgentCardMetadata and
// CodingAgentCardCapabilities. Every list of the capabilities, and the card's
// assets and settings, are written even when empty and required on input.

#include "model/agent/card_assets_record.h"
#include "model/agent/coding_card.h"
#include "model/agent/tool_record.h"
#include "model/json/record.h"

namespace revizer::agent {

namespace record {

using namespace json::describe;

inline constexpr json::Record kAgentCardMetadata{
    "struct AgentCardMetadata",
    field<Always, Required>("schema_version", &AgentCardMetadata::schema_version),
    field<Always, Required>("hook_version", &AgentCardMetadata::hook_version)};

inline constexpr json::Record kCodingAgentCardCapabilities{
    "struct CodingAgentCardCapabilities",
    field<Always, Required>("tools", &CodingAgentCardCapabilities::tools),
    field<Always, Required>("hook_commands", &CodingAgentCardCapabilities::hook_commands),
    field<Always, Required>("slash_commands", &CodingAgentCardCapabilities::slash_commands),
    field<Always, Required>("named_agents", &CodingAgentCardCapabilities::named_agents),
    field<Always, Required>("skills", &CodingAgentCardCapabilities::skills)};

inline constexpr json::Record kCodingAgentCard{
    "struct CodingAgentCard",
    field<Always, Required>("metadata", &CodingAgentCard::metadata),
    field<WhenPresent, DefaultAbsent>("model", &CodingAgentCard::model),
    field<Always, Required>("workspace_root", &CodingAgentCard::workspace_root),
    field<Always, Required>("execution_mode", &CodingAgentCard::execution_mode),
    field<WhenNonEmpty, Default>("system_instruction", &CodingAgentCard::system_instruction),
    field<Always, Required>("capabilities", &CodingAgentCard::capabilities),
    field<Always, Required>("assets", &CodingAgentCard::assets),
    field<Always, Required>("settings", &CodingAgentCard::settings),
    field<WhenNonEmpty, Default>("normalized_context", &CodingAgentCard::normalized_context)};

}  // namespace record

constexpr const auto& json_record(const AgentCardMetadata*) { return record::kAgentCardMetadata; }
constexpr const auto& json_record(const CodingAgentCardCapabilities*) { return record::kCodingAgentCardCapabilities; }
constexpr const auto& json_record(const CodingAgentCard*) { return record::kCodingAgentCard; }

}  // namespace revizer::agent
