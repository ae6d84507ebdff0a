#pragma once

// The card of a ReAct-style agent: its model, system instruction, tools and
// sub-agents. Plain data; the codec keeps every list exactly as given. The
// JSON forms are described in react_card_record.h.

#include <optional>
#include <string>
#include <vector>

#include "model/agent/tool.h"

namespace revizer::agent {

// Static capability metadata for one ReAct sub-agent.
struct ReActSubAgentDescriptor {
  std::string name;
  std::vector<std::string> parent_path;
  std::string description;
  std::optional<std::string> model;
  std::string collaboration_mode;
  std::vector<std::string> owned_tool_names;

  friend bool operator==(const ReActSubAgentDescriptor&, const ReActSubAgentDescriptor&) = default;
};

// A lightweight agent card for ReAct-style agents.
struct ReActAgentCard {
  std::optional<std::string> model;
  std::string system_instruction;
  std::vector<Tool> tools;
  std::vector<ReActSubAgentDescriptor> sub_agents;

  friend bool operator==(const ReActAgentCard&, const ReActAgentCard&) = default;
};

// The canonical order of sub-agents: parent path, then name, description,
// model (absent first), collaboration mode and owned tool names; texts by
// their UTF-8 bytes, lists element by element with a proper prefix first.
// Two sub-agents equal under it are equal in every field.
bool sub_agent_less(const ReActSubAgentDescriptor& a, const ReActSubAgentDescriptor& b);

// Puts a card built from its parts into canonical form: every sub-agent's
// owned tool names sorted without repeats, then the sub-agents sorted by
// sub_agent_less without repeats. Tools keep their order. Decoded cards are
// never canonicalised: they keep what they read.
void make_canonical(ReActAgentCard& card);

}  // namespace revizer::agent
