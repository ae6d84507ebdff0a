// AgentCardMetadata: "Metadata for a CodingAgentCard (schema and hook versions)."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::AgentCardMetadata;

// AgentCardMetadata(schema_version="1", hook_version="2")
PyObject* repr_impl(const AgentCardMetadata& metadata) {
  return ReprText("AgentCardMetadata")
      .quoted("schema_version", metadata.schema_version)
      .quoted("hook_version", metadata.hook_version)
      .finish();
}

constexpr auto kAgentCardMetadata = describe<AgentCardMetadataClass>(
    {.name = "AgentCardMetadata", .doc = "Metadata for a CodingAgentCard (schema and hook versions).",
     .repr = &repr_impl},
    kw<arg::Text>("schema_version", &AgentCardMetadata::schema_version),
    kw<arg::Text>("hook_version", &AgentCardMetadata::hook_version));

}  // namespace

template <>
const ClassDef& AgentCardMetadataClass::def() {
  return data_class<kAgentCardMetadata>();
}

}  // namespace revizer::python
