#pragma once

// The JSON descriptions of Tool, Parameter and SourceCode: the codec in
// tool.cpp and any other writer (the Python dict sink) read these same
// tables.

#include "model/agent/tool.h"
#include "model/json/record.h"

namespace revizer::agent {

namespace record {

using namespace json::describe;

inline constexpr json::Record kParameter{"struct Parameter",
                                         field<Always, Required>("name", &Parameter::name),
                                         field<Always, Required>("description", &Parameter::description),
                                         field<Always, Required>("type", &Parameter::param_type)};

inline constexpr json::Record kSourceCode{"struct SourceCode",
                                          field<Always, Required>("language", &SourceCode::language),
                                          field<Always, Required>("code", &SourceCode::code)};

inline constexpr json::Record kTool{
    "struct Tool",
    field<WhenPresent, DefaultAbsent>("id", &Tool::id),
    field<Always, Required>("name", &Tool::name),
    field<Always, Required>("description", &Tool::description),
    field<Always, Default>("parameters", &Tool::parameters),
    field<WhenPresent, DefaultAbsent>("parameters_json_schema", &Tool::parameters_json_schema),
    field<WhenPresent, DefaultAbsent>("response", &Tool::response),
    field<WhenPresent, DefaultAbsent>("response_json_schema", &Tool::response_json_schema),
    field<WhenPresent, DefaultAbsent>("source", &Tool::source)};

static_assert(kParameter.has_unique_keys() && kSourceCode.has_unique_keys() && kTool.has_unique_keys());

}  // namespace record

constexpr const auto& json_record(const Parameter*) { return record::kParameter; }
constexpr const auto& json_record(const SourceCode*) { return record::kSourceCode; }
constexpr const auto& json_record(const Tool*) { return record::kTool; }

}  // namespace revizer::agent
