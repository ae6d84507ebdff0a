#pragma once

// What an agent takes in during one step: the payloads of the Observation
// category. Plain data; nothing ties an observation's call_id to an action
// (the JSON forms are in observation_record.h).

#include <cstdint>
#include <optional>
#include <string>

#include "model/event/event_enums.h"
#include "model/json/value.h"

namespace revizer::event {

// A user, system or assistant prompt.
struct Prompt {
  std::string content;
  PromptRole role = PromptRole::User;

  friend bool operator==(const Prompt&, const Prompt&) = default;
};

// Reasoning without side effects.
struct Thought {
  std::string thought;

  friend bool operator==(const Thought&, const Thought&) = default;
};

// The generic output of a tool call.
struct ToolOutput {
  std::string call_id;
  bool success = false;
  json::Value output;  // any JSON value, null included
  std::optional<std::string> error;

  friend bool operator==(const ToolOutput&, const ToolOutput&) = default;
};

// The output of a shell command.
struct ShellCommandOutput {
  std::string call_id;
  std::int32_t exit_code = 0;
  std::string stdout_text;  // JSON key "stdout"
  std::string stderr_text;  // JSON key "stderr"

  friend bool operator==(const ShellCommandOutput&, const ShellCommandOutput&) = default;
};

// The output of a web fetch.
struct WebFetchOutput {
  std::string call_id;
  std::string url;
  std::int32_t code = 0;
  std::string result;

  friend bool operator==(const WebFetchOutput&, const WebFetchOutput&) = default;
};

// The result of a file operation.
struct FileOperationResult {
  std::string call_id;
  bool success = false;
  std::optional<std::string> content;
  std::optional<std::string> error;

  friend bool operator==(const FileOperationResult&, const FileOperationResult&) = default;
};

}  // namespace revizer::event
