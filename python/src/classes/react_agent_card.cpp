// ReActAgentCard: "A lightweight agent card for ReAct-style agents."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::ReActAgentCard;

// ReActAgentCard(model=Some("m"), tools=2, sub_agents=0)
PyObject* repr_impl(const ReActAgentCard& card) {
  return ReprText("ReActAgentCard")
      .optional_text("model", card.model)
      .count("tools", card.tools.size())
      .count("sub_agents", card.sub_agents.size())
      .finish();
}

// A card built from its parts holds its sub-agents in canonical order;
// decoded cards keep what they read.
bool make_canonical(ReActAgentCard& card) {
  agent::make_canonical(card);
  return true;
}

constexpr auto kReActAgentCard = describe<ReActAgentCardClass, &make_canonical>(
    {.name = "ReActAgentCard", .doc = "A lightweight agent card for ReAct-style agents.", .repr = &repr_impl},
    kw<arg::Opt<arg::Text>>("model", &ReActAgentCard::model, "None"),
    kw<arg::NoneDefaulted<arg::Text>>("system_instruction", &ReActAgentCard::system_instruction, "None"),
    kw<arg::OptList<arg::Record<ToolClass>>>("tools", &ReActAgentCard::tools, "None"),
    kw<arg::OptList<arg::Record<ReActSubAgentDescriptorClass>>>("sub_agents", &ReActAgentCard::sub_agents, "None"));

}  // namespace

template <>
const ClassDef& ReActAgentCardClass::def() {
  return data_class<kReActAgentCard>();
}

}  // namespace revizer::python
