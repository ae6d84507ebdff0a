#pragma once

// The AI agent an event belongs to, with its card: a ReAct-style card or a
// coding-agent card. The coding card is boxed, so an AgentCard (and every
// Agent) stays as small as a ReAct card. The JSON forms are described in
// agent_record.h; the event model and the Python layer reach them through
// json::encode(agent) and json::decode<Agent>(value, mode), mode Buffered
// for an agent read from held content.

#include <cstddef>
#include <string>
#include <variant>

#include "model/agent/coding_card.h"
#include "model/agent/react_card.h"
#include "support/box.h"

namespace revizer::agent {

// Agent card enum wrapping the card variant attached to an Agent.
using AgentCard = std::variant<ReActAgentCard, Box<CodingAgentCard>>;

// The variants' positions in AgentCard.
namespace card {
inline constexpr std::size_t kReAct = 0;
inline constexpr std::size_t kCoding = 1;
}  // namespace card

// Agent represents a unique AI agent in the environment.
struct Agent {
  std::string id;
  std::string provider;
  std::string platform;
  AgentCard card;  // an empty ReAct card unless given

  friend bool operator==(const Agent&, const Agent&) = default;
};

}  // namespace revizer::agent
