#include "model/agent/react_card.h"

#include <algorithm>
#include <tuple>

namespace revizer::agent {

// std::string compares by char_traits<char>, which orders bytes as unsigned
// char; vectors and optionals compare lexicographically with the shorter
// list and the absent value first: exactly the canonical order.
bool sub_agent_less(const ReActSubAgentDescriptor& a, const ReActSubAgentDescriptor& b) {
  return std::tie(a.parent_path, a.name, a.description, a.model, a.collaboration_mode, a.owned_tool_names) <
         std::tie(b.parent_path, b.name, b.description, b.model, b.collaboration_mode, b.owned_tool_names);
}

void make_canonical(ReActAgentCard& card) {
  for (ReActSubAgentDescriptor& sub : card.sub_agents) {
    std::sort(sub.owned_tool_names.begin(), sub.owned_tool_names.end());
    sub.owned_tool_names.erase(std::unique(sub.owned_tool_names.begin(), sub.owned_tool_names.end()),
                               sub.owned_tool_names.end());
  }
  std::stable_sort(card.sub_agents.begin(), card.sub_agents.end(), sub_agent_less);
  card.sub_agents.erase(std::unique(card.sub_agents.begin(), card.sub_agents.end()), card.sub_agents.end());
}

}  // namespace revizer::agent
