// CodingAgentCardCapabilities: "Capabilities section of a CodingAgentCard."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::CodingAgentCardCapabilities;
using TextList = arg::OptList<arg::Text>;

// CodingAgentCardCapabilities(tools=1, hook_commands=0, slash_commands=2, named_agents=0, skills=3)
PyObject* repr_impl(const CodingAgentCardCapabilities& caps) {
  return ReprText("CodingAgentCardCapabilities")
      .count("tools", caps.tools.size())
      .count("hook_commands", caps.hook_commands.size())
      .count("slash_commands", caps.slash_commands.size())
      .count("named_agents", caps.named_agents.size())
      .count("skills", caps.skills.size())
      .finish();
}

constexpr auto kCodingAgentCardCapabilities = describe<CodingAgentCardCapabilitiesClass>(
    {.name = "CodingAgentCardCapabilities", .doc = "Capabilities section of a CodingAgentCard.", .repr = &repr_impl},
    kw<arg::OptList<arg::Record<ToolClass>>>("tools", &CodingAgentCardCapabilities::tools, "None"),
    kw<TextList>("hook_commands", &CodingAgentCardCapabilities::hook_commands, "None"),
    kw<TextList>("slash_commands", &CodingAgentCardCapabilities::slash_commands, "None"),
    kw<TextList>("named_agents", &CodingAgentCardCapabilities::named_agents, "None"),
    kw<TextList>("skills", &CodingAgentCardCapabilities::skills, "None"));

}  // namespace

template <>
const ClassDef& CodingAgentCardCapabilitiesClass::def() {
  return data_class<kCodingAgentCardCapabilities>();
}

}  // namespace revizer::python
