#pragma once

// What an agent does in one step: the payloads of the Action category. Plain
// data; identifiers and texts are stored as given (the JSON forms are in
// action_record.h).

#include <optional>
#include <string>

#include "model/event/event_enums.h"
#include "model/json/value.h"
#include "support/box.h"

namespace revizer::event {

// A generic tool or function invocation.
struct ToolCall {
  std::string call_id;
  std::string tool;
  // Any JSON value, null included. Boxed: an event copies its payload, and
  // the arguments are the one part that can be large.
  Box<json::Value> arguments;

  friend bool operator==(const ToolCall&, const ToolCall&) = default;
};

// A shell command execution.
struct ShellCommand {
  std::string call_id;
  std::string command;
  std::optional<std::string> working_dir;

  friend bool operator==(const ShellCommand&, const ShellCommand&) = default;
};

// A web fetch.
struct WebFetch {
  std::string call_id;
  std::string url;
  std::string prompt;

  friend bool operator==(const WebFetch&, const WebFetch&) = default;
};

// A file system operation. Nothing ties the contents to the operation: a
// record keeps whatever combination it was given.
struct FileOperation {
  std::string call_id;
  FileOpType operation = FileOpType::Read;
  std::string path;
  std::optional<std::string> content;      // written by a Write, new text of an Edit
  std::optional<std::string> old_content;  // the text an Edit replaces

  friend bool operator==(const FileOperation&, const FileOperation&) = default;
};

}  // namespace revizer::event
