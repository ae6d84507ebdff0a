// Prompt, Thought, ToolOutput, ShellCommandOutput, WebFetchOutput and
// FileOperationResult: what an agent takes in. None makes a call id: the
// outcomes carry the one their caller passes.
#include "python/src/classes/data_class.h"
#include "python/src/classes/event_classes.h"
#include "python/src/convert/json_arg.h"
#include "python/src/enums/event_enums.h"

namespace revizer::python {
namespace {

using event::FileOperationResult;
using event::Prompt;
using event::ShellCommandOutput;
using event::Thought;
using event::ToolOutput;
using event::WebFetchOutput;

// Prompt(role=PromptRole.USER, content="..."), cut to 50 grapheme clusters.
PyObject* prompt_repr(const Prompt& prompt) {
  return ReprText("Prompt").member("role", prompt.role).truncated("content", prompt.content, 50).finish();
}

constexpr auto kPrompt = describe<PromptClass>(
    {.name = "Prompt", .doc = "User or system prompt input.", .repr = &prompt_repr},
    pos<arg::Text>("content", &Prompt::content),
    pos<arg::Enum<PromptRole>>("role", &Prompt::role));

template <event::PromptRole Role>
PyObject* prompt_of(std::string content) {
  return create_object<PromptClass>(Prompt{std::move(content), Role});
}
constexpr auto kUser = signature("Prompt", "user", "user(content)\n--\n\nCreate a user prompt.", pos("content"));
constexpr auto kSystem =
    signature("Prompt", "system", "system(content)\n--\n\nCreate a system prompt.", pos("content"));

// Thought(thought="..."), cut to 50 grapheme clusters.
PyObject* thought_repr(const Thought& thought) {
  return ReprText("Thought").truncated("thought", thought.thought, 50).finish();
}

constexpr auto kThought = describe<ThoughtClass>(
    {.name = "Thought", .doc = "Internal reasoning (no side effects).", .repr = &thought_repr},
    pos<arg::Text>("thought", &Thought::thought));

// ToolOutput(call_id="c", success=true)
PyObject* tool_output_repr(const ToolOutput& output) {
  return ReprText("ToolOutput").quoted("call_id", output.call_id).boolean("success", output.success).finish();
}

// The output is converted after every other argument, and its conversion's
// error is raised as it is.
bool finish_tool_output(ToolOutput& output, PyObject* value) {
  auto json = py_to_json(value);
  if (!json) return false;
  output.output = std::move(*json);
  return true;
}

constexpr const char* kSuccessDoc = "success: whether the call succeeded.";
constexpr const char* kErrorDoc = "error: the error text of a failed call, or None.";

constexpr auto kToolOutput = describe<ToolOutputClass, &finish_tool_output>(
    {.name = "ToolOutput", .doc = "Generic tool output.", .repr = &tool_output_repr},
    pos<arg::Text>("call_id", &ToolOutput::call_id),
    pos<arg::Bool>("success", &ToolOutput::success).doc(kSuccessDoc),
    pos<arg::Object>("output"),
    prop("output", &ToolOutput::output),
    kw<arg::Opt<arg::Text>>("error", &ToolOutput::error, "None").doc(kErrorDoc));

PyObject* tool_output_success(std::string call_id, json::Value output) {
  return create_object<ToolOutputClass>(ToolOutput{std::move(call_id), true, std::move(output), std::nullopt});
}
PyObject* tool_output_error(std::string call_id, std::string error) {
  return create_object<ToolOutputClass>(ToolOutput{std::move(call_id), false, json::Value(), std::move(error)});
}
constexpr auto kToolSuccess =
    signature("ToolOutput", "from_success", "from_success(call_id, output)\n--\n\nCreate a successful tool output.",
              pos("call_id"), pos("output"));
constexpr auto kToolError = signature(
    "ToolOutput", "from_error", "from_error(call_id, error)\n--\n\nCreate an error tool output.", pos("call_id"),
    pos("error"));

// ShellCommandOutput(call_id="c", exit_code=0)
PyObject* shell_output_repr(const ShellCommandOutput& output) {
  return ReprText("ShellCommandOutput")
      .quoted("call_id", output.call_id)
      .integer("exit_code", output.exit_code)
      .finish();
}

constexpr auto kShellCommandOutput = describe<ShellCommandOutputClass>(
    {.name = "ShellCommandOutput", .doc = "Shell command output.", .repr = &shell_output_repr},
    pos<arg::Text>("call_id", &ShellCommandOutput::call_id),
    pos<arg::I32>("exit_code", &ShellCommandOutput::exit_code),
    pos<arg::Text>("stdout", &ShellCommandOutput::stdout_text),
    pos<arg::Text>("stderr", &ShellCommandOutput::stderr_text));

// WebFetchOutput(url="https://...", code=200)
PyObject* web_output_repr(const WebFetchOutput& output) {
  return ReprText("WebFetchOutput").quoted("url", output.url).integer("code", output.code).finish();
}

constexpr auto kWebFetchOutput = describe<WebFetchOutputClass>(
    {.name = "WebFetchOutput", .doc = "Web fetch output.", .repr = &web_output_repr},
    pos<arg::Text>("call_id", &WebFetchOutput::call_id),
    pos<arg::Text>("url", &WebFetchOutput::url),
    pos<arg::I32>("code", &WebFetchOutput::code),
    pos<arg::Text>("result", &WebFetchOutput::result));

// FileOperationResult(call_id="c", success=false)
PyObject* file_result_repr(const FileOperationResult& result) {
  return ReprText("FileOperationResult").quoted("call_id", result.call_id).boolean("success", result.success).finish();
}

constexpr auto kFileOperationResult = describe<FileOperationResultClass>(
    {.name = "FileOperationResult", .doc = "File operation result.", .repr = &file_result_repr},
    pos<arg::Text>("call_id", &FileOperationResult::call_id),
    pos<arg::Bool>("success", &FileOperationResult::success).doc("success: whether the operation succeeded."),
    kw<arg::Opt<arg::Text>>("content", &FileOperationResult::content, "None"),
    kw<arg::Opt<arg::Text>>("error", &FileOperationResult::error, "None").doc("error: the error text of a failed operation, or None."));

PyObject* file_result_success(std::string call_id) {
  return create_object<FileOperationResultClass>(
      FileOperationResult{std::move(call_id), true, std::nullopt, std::nullopt});
}
PyObject* file_result_error(std::string call_id, std::string error) {
  return create_object<FileOperationResultClass>(
      FileOperationResult{std::move(call_id), false, std::nullopt, std::move(error)});
}
constexpr auto kFileSuccess = signature("FileOperationResult", "from_success",
                                        "from_success(call_id)\n--\n\nCreate a successful result.", pos("call_id"));
constexpr auto kFileError =
    signature("FileOperationResult", "from_error", "from_error(call_id, error)\n--\n\nCreate an error result.",
              pos("call_id"), pos("error"));

}  // namespace

template <>
const ClassDef& PromptClass::def() {
  return data_class<kPrompt>({.methods = {
                                  static_method<kUser, &prompt_of<event::PromptRole::User>, arg::Text>(),
                                  static_method<kSystem, &prompt_of<event::PromptRole::System>, arg::Text>(),
                              }});
}

template <>
const ClassDef& ThoughtClass::def() {
  return data_class<kThought>();
}

template <>
const ClassDef& ToolOutputClass::def() {
  return data_class<kToolOutput>({.methods = {
                                      static_method<kToolSuccess, &tool_output_success, arg::Text, arg::Json>(),
                                      static_method<kToolError, &tool_output_error, arg::Text, arg::Text>(),
                                  }});
}

template <>
const ClassDef& ShellCommandOutputClass::def() {
  return data_class<kShellCommandOutput>();
}

template <>
const ClassDef& WebFetchOutputClass::def() {
  return data_class<kWebFetchOutput>();
}

template <>
const ClassDef& FileOperationResultClass::def() {
  return data_class<kFileOperationResult>({.methods = {
                                               static_method<kFileSuccess, &file_result_success, arg::Text>(),
                                               static_method<kFileError, &file_result_error, arg::Text, arg::Text>(),
                                           }});
}

}  // namespace revizer::python
