#pragma once

// The tools an agent offers: Tool, with its Parameters and optional
// SourceCode. Plain data; nothing is checked beyond the JSON form (schema
// texts are opaque strings, never parsed). The JSON forms are described in
// tool_record.h.

#include <optional>
#include <string>
#include <vector>


namespace revizer::agent {

// A tool parameter definition.
struct Parameter {
  std::string name;
  std::string description;
  std::string param_type;  // JSON key "type"

  friend bool operator==(const Parameter&, const Parameter&) = default;
};

// Source code attached to a tool.
struct SourceCode {
  std::string language;
  std::string code;

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

  friend bool operator==(const Tool&, const Tool&) = default;
};

}  // namespace revizer::agent
