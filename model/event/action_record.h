#pragma once

// The JSON descriptions of the action payloads.

#include "model/event/action.h"
#include "model/json/record.h"

namespace revizer::event {

namespace record {

using namespace json::describe;

inline constexpr json::Record kToolCall{"struct ToolCall",
                                        field<Always, Required>("call_id", &ToolCall::call_id),
                                        field<Always, Required>("tool", &ToolCall::tool),
                                        field<Always, Required>("arguments", &ToolCall::arguments)};

inline constexpr json::Record kShellCommand{"struct ShellCommand",
                                            field<Always, Required>("call_id", &ShellCommand::call_id),
                                            field<Always, Required>("command", &ShellCommand::command),
                                            field<Always, Optional>("working_dir", &ShellCommand::working_dir)};

inline constexpr json::Record kWebFetch{"struct WebFetch",
                                        field<Always, Required>("call_id", &WebFetch::call_id),
                                        field<Always, Required>("url", &WebFetch::url),
                                        field<Always, Required>("prompt", &WebFetch::prompt)};

inline constexpr json::Record kFileOperation{"struct FileOperation",
                                             field<Always, Required>("call_id", &FileOperation::call_id),
                                             field<Always, Required>("operation", &FileOperation::operation),
                                             field<Always, Required>("path", &FileOperation::path),
                                             field<WhenPresent, Optional>("content", &FileOperation::content),
                                             field<WhenPresent, Optional>("old_content", &FileOperation::old_content)};

}  // namespace record

constexpr const auto& json_record(const ToolCall*) { return record::kToolCall; }
constexpr const auto& json_record(const ShellCommand*) { return record::kShellCommand; }
constexpr const auto& json_record(const WebFetch*) { return record::kWebFetch; }
constexpr const auto& json_record(const FileOperation*) { return record::kFileOperation; }

}  // namespace revizer::event
