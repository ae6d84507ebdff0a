// Agent: "Agent represents a unique AI agent in the environment."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::Agent;

// Agent(id="a1", provider="acme"): the platform and the card are not shown.
PyObject* repr_impl(const Agent& agent) {
  return ReprText("Agent").quoted("id", agent.id).quoted("provider", agent.provider).finish();
}

// Left out or None, the platform is empty and the card an empty ReAct card
// (the record's defaults).
constexpr auto kAgent = describe<AgentClass>(
    {.name = "Agent",
     .doc = "Agent represents a unique AI agent in the environment.",
     .repr = &repr_impl,
     .strip_asset_content = true},
    pos<arg::Text>("id", &Agent::id),
    pos<arg::Text>("provider", &Agent::provider),
    kw<arg::NoneDefaulted<arg::Text>>("platform", &Agent::platform, "None"),
    kw<arg::NoneDefaulted<arg::Record<AgentCardClass>>>("card", &Agent::card, "None"));

}  // namespace

template <>
const ClassDef& AgentClass::def() {
  return data_class<kAgent>();
}

}  // namespace revizer::python
