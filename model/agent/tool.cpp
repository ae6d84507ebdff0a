#include "model/agent/tool.h"

#include "model/agent/tool_record.h"

namespace revizer::agent {

using json::CodecError;
using json::Mode;
using json::Value;

Value Parameter::to_json(const Parameter& parameter) { return record::kParameter.encode(parameter); }
Result<Parameter, CodecError> Parameter::from_json(Value value, Mode mode) {
  return record::kParameter.decode(std::move(value), mode);
}

Value SourceCode::to_json(const SourceCode& source) { return record::kSourceCode.encode(source); }
Result<SourceCode, CodecError> SourceCode::from_json(Value value, Mode mode) {
  return record::kSourceCode.decode(std::move(value), mode);
}

Value Tool::to_json(const Tool& tool) { return record::kTool.encode(tool); }
Result<Tool, CodecError> Tool::from_json(Value value, Mode mode) {
  return record::kTool.decode(std::move(value), mode);
}

}  // namespace revizer::agent
