#pragma once

// The Python classes of agents and their cards, over the agent model's
// records. Tool, Parameter and SourceCode are in tool_classes.h.

#include "model/agent/agent_record.h"
#include "python/src/binding/binding.h"
#include "python/src/classes/tool_classes.h"

namespace revizer::python {

using ReActSubAgentDescriptorClass = DataClass<agent::ReActSubAgentDescriptor>;
using ReActAgentCardClass = DataClass<agent::ReActAgentCard>;
using AgentCardMetadataClass = DataClass<agent::AgentCardMetadata>;
using CodingAgentCardCapabilitiesClass = DataClass<agent::CodingAgentCardCapabilities>;
using CodingAgentCardAssetClass = DataClass<agent::CodingAgentCardAsset>;
using CodingAgentCardSettingsSnapshotClass = DataClass<agent::CodingAgentCardSettingsSnapshot>;
using CodingAgentCardClass = DataClass<agent::CodingAgentCard>;
using AgentCardClass = DataClass<agent::AgentCard>;
using AgentClass = DataClass<agent::Agent>;

template <>
const ClassDef& ReActSubAgentDescriptorClass::def();
template <>
const ClassDef& ReActAgentCardClass::def();
template <>
const ClassDef& AgentCardMetadataClass::def();
template <>
const ClassDef& CodingAgentCardCapabilitiesClass::def();
template <>
const ClassDef& CodingAgentCardAssetClass::def();
template <>
const ClassDef& CodingAgentCardSettingsSnapshotClass::def();
template <>
const ClassDef& CodingAgentCardClass::def();
template <>
const ClassDef& AgentCardClass::def();
template <>
const ClassDef& AgentClass::def();

}  // namespace revizer::python
