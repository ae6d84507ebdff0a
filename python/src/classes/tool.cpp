// Tool: "A tool exposed by an agent."
#include "python/src/classes/data_class.h"
#include "python/src/classes/tool_classes.h"

namespace revizer::python {
namespace {

using agent::Tool;
using OptText = arg::Opt<arg::Text>;

// Tool(name="search", parameters=2)
PyObject* repr_impl(const Tool& tool) {
  return ReprText("Tool").quoted("name", tool.name).count("parameters", tool.parameters.size()).finish();
}

constexpr auto kTool = describe<ToolClass>(
    {.name = "Tool", .doc = "A tool exposed by an agent.", .repr = &repr_impl},
    prop("id", &Tool::id),
    pos<arg::Text>("name", &Tool::name),
    pos<arg::Text>("description", &Tool::description),
    pos<arg::RequiredList<arg::Record<ParameterClass>>>("parameters", &Tool::parameters),
    kw<OptText>("id", &Tool::id, "None"),
    kw<OptText>("parameters_json_schema", &Tool::parameters_json_schema, "None"),
    kw<OptText>("response", &Tool::response, "None"),
    kw<OptText>("response_json_schema", &Tool::response_json_schema, "None"),
    kw<arg::Opt<arg::Record<SourceCodeClass>>>("source", &Tool::source, "None"));

}  // namespace

template <>
const ClassDef& ToolClass::def() {
  return data_class<kTool>();
}

}  // namespace revizer::python
