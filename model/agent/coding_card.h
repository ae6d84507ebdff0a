#pragma once

// The card of a coding-agent runtime (SBOM-like): schema and hook versions,
// model, workspace, execution mode, system instruction, capabilities, assets,
// settings snapshots and named context texts. Plain data; the codec relates
// no field to another. The JSON forms are described in coding_card_record.h.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/agent/card_assets.h"
#include "model/agent/tool.h"

namespace revizer::agent {

// Metadata for a CodingAgentCard (schema and hook versions).
struct AgentCardMetadata {
  std::string schema_version;
  std::string hook_version;

  friend bool operator==(const AgentCardMetadata&, const AgentCardMetadata&) = default;
};

// Capabilities section of a CodingAgentCard.
struct CodingAgentCardCapabilities {
  std::vector<Tool> tools;
  std::vector<std::string> hook_commands;
  std::vector<std::string> slash_commands;
  std::vector<std::string> named_agents;
  std::vector<std::string> skills;

  friend bool operator==(const CodingAgentCardCapabilities&, const CodingAgentCardCapabilities&) = default;
};

// Universal capability document for a coding agent runtime (SBOM-like).
struct CodingAgentCard {
  AgentCardMetadata metadata;
  std::optional<std::string> model;
  std::string workspace_root;
  std::string execution_mode;
  std::string system_instruction;
  CodingAgentCardCapabilities capabilities;
  std::vector<CodingAgentCardAsset> assets;
  std::vector<CodingAgentCardSettingsSnapshot> settings;
  std::map<std::string, std::string> normalized_context;  // ordered by key

  friend bool operator==(const CodingAgentCard&, const CodingAgentCard&) = default;
};

}  // namespace revizer::agent
