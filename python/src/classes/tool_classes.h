#pragma once

// The Python classes of a tool and its parts, over the agent model's records.

#include "model/agent/tool_record.h"
#include "python/src/binding/binding.h"

namespace revizer::python {

struct ParameterClass {
  using Record = agent::Parameter;
  static const ClassDef& def();
};

struct SourceCodeClass {
  using Record = agent::SourceCode;
  static const ClassDef& def();
};

struct ToolClass {
  using Record = agent::Tool;
  static const ClassDef& def();
};

}  // namespace revizer::python
