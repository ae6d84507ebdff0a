#pragma once

// The JSON descriptions of CodingAgentCardAsset and
// CodingAgentCardSettingsSnapshot. An asset's four content keys follow its
// five identifying keys (the Python layer's content stripping relies on it);
// the truncation flag is written only when true. A snapshot's three lists are
// always written and required; its server map is left out when empty.

#include "model/agent/card_assets.h"
#include "model/agent/mcp_server_record.h"
#include "model/json/record.h"

namespace revizer::agent {

namespace record {

using namespace json::describe;

inline constexpr json::Record kCodingAgentCardAsset{
    "struct CodingAgentCardAsset",
    field<Always, Required>("scope", &CodingAgentCardAsset::scope),
    field<Always, Required>("kind", &CodingAgentCardAsset::kind),
    field<Always, Required>("name", &CodingAgentCardAsset::name),
    field<Always, Required>("path", &CodingAgentCardAsset::path),
    field<Always, Required>("content_sha256", &CodingAgentCardAsset::content_sha256),
    field<WhenPresent, DefaultAbsent>("content_media_type", &CodingAgentCardAsset::content_media_type),
    field<WhenPresent, DefaultAbsent>("content", &CodingAgentCardAsset::content),
    field<WhenPresent, DefaultAbsent>("content_size_bytes", &CodingAgentCardAsset::content_size_bytes),
    field<WhenTrue, Default>("content_truncated", &CodingAgentCardAsset::content_truncated)};

inline constexpr json::Record kCodingAgentCardSettingsSnapshot{
    "struct CodingAgentCardSettingsSnapshot",
    field<Always, Required>("scope", &CodingAgentCardSettingsSnapshot::scope),
    field<Always, Required>("path", &CodingAgentCardSettingsSnapshot::path),
    field<Always, Required>("content_sha256", &CodingAgentCardSettingsSnapshot::content_sha256),
    field<Always, Required>("allow_permissions", &CodingAgentCardSettingsSnapshot::allow_permissions),
    field<Always, Required>("deny_permissions", &CodingAgentCardSettingsSnapshot::deny_permissions),
    field<Always, Required>("hook_commands", &CodingAgentCardSettingsSnapshot::hook_commands),
    field<WhenNonEmpty, Default>("mcp_servers", &CodingAgentCardSettingsSnapshot::mcp_servers)};

}  // namespace record

constexpr const auto& json_record(const CodingAgentCardAsset*) { return record::kCodingAgentCardAsset; }
constexpr const auto& json_record(const CodingAgentCardSettingsSnapshot*) {
  return record::kCodingAgentCardSettingsSnapshot;
}

}  // namespace revizer::agent
