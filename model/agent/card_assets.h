#pragma once

// The assets and settings snapshots a coding-agent card carries. Plain data
// filled by the caller: nothing is hashed, measured, truncated or checked
// here. The JSON forms are described in card_assets_record.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/agent/mcp_server.h"

namespace revizer::agent {

// A capability-bearing artifact discovered during agent introspection.
struct CodingAgentCardAsset {
  // The five identifying fields.
  std::string scope;
  std::string kind;
  std::string name;
  std::string path;
  std::string content_sha256;
  // The captured content, when there is any.
  std::optional<std::string> content_media_type;
  std::optional<std::string> content;
  std::optional<std::uint64_t> content_size_bytes;
  bool content_truncated = false;

  friend bool operator==(const CodingAgentCardAsset&, const CodingAgentCardAsset&) = default;
};

// A settings snapshot from an agent runtime configuration.
struct CodingAgentCardSettingsSnapshot {
  std::string scope;
  std::string path;
  std::string content_sha256;
  std::vector<std::string> allow_permissions;
  std::vector<std::string> deny_permissions;
  std::vector<std::string> hook_commands;
  McpServerMap mcp_servers;

  friend bool operator==(const CodingAgentCardSettingsSnapshot&, const CodingAgentCardSettingsSnapshot&) = default;
};

}  // namespace revizer::agent
