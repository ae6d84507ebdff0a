#pragma once

// The JSON descriptions of the observation payloads. Unlike FileOperation's,
// their optional texts are always written, as null when absent.

#include "model/event/observation.h"
#include "model/json/record.h"

namespace revizer::event {

namespace record {

using namespace json::describe;

inline constexpr json::Record kPrompt{"struct Prompt",
                                      field<Always, Required>("content", &Prompt::content),
                                      field<Always, Required>("role", &Prompt::role)};

inline constexpr json::Record kThought{"struct Thought", field<Always, Required>("thought", &Thought::thought)};

inline constexpr json::Record kToolOutput{"struct ToolOutput",
                                          field<Always, Required>("call_id", &ToolOutput::call_id),
                                          field<Always, Required>("success", &ToolOutput::success),
                                          field<Always, Required>("output", &ToolOutput::output),
                                          field<Always, Optional>("error", &ToolOutput::error)};

inline constexpr json::Record kShellCommandOutput{
    "struct ShellCommandOutput",
    field<Always, Required>("call_id", &ShellCommandOutput::call_id),
    field<Always, Required>("exit_code", &ShellCommandOutput::exit_code),
    field<Always, Required>("stdout", &ShellCommandOutput::stdout_text),
    field<Always, Required>("stderr", &ShellCommandOutput::stderr_text)};

inline constexpr json::Record kWebFetchOutput{"struct WebFetchOutput",
                                              field<Always, Required>("call_id", &WebFetchOutput::call_id),
                                              field<Always, Required>("url", &WebFetchOutput::url),
                                              field<Always, Required>("code", &WebFetchOutput::code),
                                              field<Always, Required>("result", &WebFetchOutput::result)};

inline constexpr json::Record kFileOperationResult{
    "struct FileOperationResult",
    field<Always, Required>("call_id", &FileOperationResult::call_id),
    field<Always, Required>("success", &FileOperationResult::success),
    field<Always, Optional>("content", &FileOperationResult::content),
    field<Always, Optional>("error", &FileOperationResult::error)};

}  // namespace record

constexpr const auto& json_record(const Prompt*) { return record::kPrompt; }
constexpr const auto& json_record(const Thought*) { return record::kThought; }
constexpr const auto& json_record(const ToolOutput*) { return record::kToolOutput; }
constexpr const auto& json_record(const ShellCommandOutput*) { return record::kShellCommandOutput; }
constexpr const auto& json_record(const WebFetchOutput*) { return record::kWebFetchOutput; }
constexpr const auto& json_record(const FileOperationResult*) { return record::kFileOperationResult; }

}  // namespace revizer::event
