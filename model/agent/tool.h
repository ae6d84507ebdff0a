#pragma once

// The tools an agent offers: Tool, with its Parameters and optional
// SourceCode. Plain data; nothing is checked beyond the JSON form (schema
// texts are opaque strings, never parsed).

#include <optional>
#include <string>
#include <vector>

#include "model/json/codec_error.h"
#include "model/json/codec_errors.h"
#include "model/json/value.h"
#include "support/result.h"

namespace revizer::agent {

// A tool parameter definition.
struct Parameter {
  std::string name;
  std::string description;
  std::string param_type;  // JSON key "type"

  static json::Value to_json(const Parameter& parameter);
  static Result<Parameter, json::CodecError> from_json(json::Value value, json::Mode mode = json::Mode::Direct);
  friend bool operator==(const Parameter&, const Parameter&) = default;
};

// Source code attached to a tool.
struct SourceCode {
  std::string language;
  std::string code;

  static json::Value to_json(const SourceCode& source);
  static Result<SourceCode, json::CodecError> from_json(json::Value value, json::Mode mode = json::Mode::Direct);
  friend bool operator==(const SourceCode&, const SourceCode&) = default;
};

// A tool exposed by an agent.
struct Tool {
  std::optional<std::string> id;
  std::string name;
  std::string description;
  std::vector<Parameter> parameters;
  std::optional<std::string> parameters_json_schema;
  std::optional<std::string> response;
  std::optional<std::string> response_json_schema;
  std::optional<SourceCode> source;

  static json::Value to_json(const Tool& tool);
  static Result<Tool, json::CodecError> from_json(json::Value value, json::Mode mode = json::Mode::Direct);
  friend bool operator==(const Tool&, const Tool&) = default;
};

}  // namespace revizer::agent
