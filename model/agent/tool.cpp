#include "model/agent/tool.h"

#include "model/json/record.h"

namespace revizer::agent {
namespace {

using namespace json;
using enum Written;
using enum Read;

constexpr Record kParameter{"struct Parameter",
                            field<Always, Required>("name", &Parameter::name),
                            field<Always, Required>("description", &Parameter::description),
                            field<Always, Required>("type", &Parameter::param_type)};

constexpr Record kSourceCode{"struct SourceCode",
                             field<Always, Required>("language", &SourceCode::language),
                             field<Always, Required>("code", &SourceCode::code)};

constexpr Record kTool{"struct Tool",
                       field<WhenPresent, DefaultAbsent>("id", &Tool::id),
                       field<Always, Required>("name", &Tool::name),
                       field<Always, Required>("description", &Tool::description),
                       field<Always, Default>("parameters", &Tool::parameters),
                       field<WhenPresent, DefaultAbsent>("parameters_json_schema", &Tool::parameters_json_schema),
                       field<WhenPresent, DefaultAbsent>("response", &Tool::response),
                       field<WhenPresent, DefaultAbsent>("response_json_schema", &Tool::response_json_schema),
                       field<WhenPresent, DefaultAbsent>("source", &Tool::source)};

static_assert(kParameter.has_unique_keys() && kSourceCode.has_unique_keys() && kTool.has_unique_keys());

}  // namespace

Value Parameter::to_json(const Parameter& parameter) { return kParameter.encode(parameter); }
Result<Parameter, CodecError> Parameter::from_json(Value value, Mode mode) {
  return kParameter.decode(std::move(value), mode);
}

Value SourceCode::to_json(const SourceCode& source) { return kSourceCode.encode(source); }
Result<SourceCode, CodecError> SourceCode::from_json(Value value, Mode mode) {
  return kSourceCode.decode(std::move(value), mode);
}

Value Tool::to_json(const Tool& tool) { return kTool.encode(tool); }
Result<Tool, CodecError> Tool::from_json(Value value, Mode mode) { return kTool.decode(std::move(value), mode); }

}  // namespace revizer::agent
