#pragma once

// The Python classes of a tool and its parts, over the agent model's records.

#include "model/agent/tool_record.h"
#include "python/src/binding/binding.h"

namespace revizer::python {

using ParameterClass = DataClass<agent::Parameter>;
using SourceCodeClass = DataClass<agent::SourceCode>;
using ToolClass = DataClass<agent::Tool>;

template <>
const ClassDef& ParameterClass::def();
template <>
const ClassDef& SourceCodeClass::def();
template <>
const ClassDef& ToolClass::def();

}  // namespace revizer::python
