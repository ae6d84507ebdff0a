// ReActSubAgentDescriptor: "Static capability metadata for one ReAct sub-agent."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::ReActSubAgentDescriptor;

// ReActSubAgentDescriptor(name="planner", parent_path=["root"], collaboration_mode="")
PyObject* repr_impl(const ReActSubAgentDescriptor& sub) {
  return ReprText("ReActSubAgentDescriptor")
      .quoted("name", sub.name)
      .texts("parent_path", sub.parent_path)
      .quoted("collaboration_mode", sub.collaboration_mode)
      .finish();
}

// Stored as given: only a card puts its sub-agents' tool names in order.
constexpr auto kReActSubAgentDescriptor = describe<ReActSubAgentDescriptorClass>(
    {.name = "ReActSubAgentDescriptor",
     .doc = "Static capability metadata for one ReAct sub-agent.",
     .repr = &repr_impl},
    kw<arg::Text>("name", &ReActSubAgentDescriptor::name),
    kw<arg::OptList<arg::Text>>("parent_path", &ReActSubAgentDescriptor::parent_path, "None"),
    kw<arg::NoneDefaulted<arg::Text>>("description", &ReActSubAgentDescriptor::description, "None"),
    kw<arg::Opt<arg::Text>>("model", &ReActSubAgentDescriptor::model, "None"),
    kw<arg::NoneDefaulted<arg::Text>>("collaboration_mode", &ReActSubAgentDescriptor::collaboration_mode, "None"),
    kw<arg::OptList<arg::Text>>("owned_tool_names", &ReActSubAgentDescriptor::owned_tool_names, "None"));

}  // namespace

template <>
const ClassDef& ReActSubAgentDescriptorClass::def() {
  return data_class<kReActSubAgentDescriptor>();
}

}  // namespace revizer::python
