// ToolCall, ShellCommand, WebFetch and FileOperation: what an agent does.
#include "python/src/classes/data_class.h"
#include "python/src/classes/event_classes.h"
#include "python/src/convert/generated_id.h"
#include "python/src/convert/json_arg.h"
#include "python/src/enums/event_enums.h"

namespace revizer::python {
namespace {

using event::FileOperation;
using event::ShellCommand;
using event::ToolCall;
using event::WebFetch;
using CallId = arg::GeneratedId<kCallIdPrefix>;

// ToolCall(tool="search", call_id="call-...")
PyObject* tool_call_repr(const ToolCall& call) {
  return ReprText("ToolCall").quoted("tool", call.tool).quoted("call_id", call.call_id).finish();
}

// The arguments are converted after every other argument, and their
// conversion's error is raised as it is.
bool finish_tool_call(ToolCall& call, PyObject* arguments) {
  auto value = py_to_json(arguments);
  if (!value) return false;
  call.arguments = std::move(*value);
  return true;
}

constexpr auto kToolCall = describe<ToolCallClass, &finish_tool_call>(
    {.name = "ToolCall", .doc = "Generic tool/function invocation.", .repr = &tool_call_repr},
    prop("call_id", &ToolCall::call_id),
    pos<arg::Text>("tool", &ToolCall::tool),
    pos<arg::Object>("arguments"),
    kw<CallId>("call_id", &ToolCall::call_id, "None"),
    prop("arguments", &ToolCall::arguments));

// ShellCommand(command="ls -la"), the command cut to 60 grapheme clusters.
PyObject* shell_command_repr(const ShellCommand& command) {
  return ReprText("ShellCommand").truncated("command", command.command, 60).finish();
}

constexpr auto kShellCommand = describe<ShellCommandClass>(
    {.name = "ShellCommand", .doc = "Shell command execution.", .repr = &shell_command_repr},
    prop("call_id", &ShellCommand::call_id),
    pos<arg::Text>("command", &ShellCommand::command),
    kw<arg::Opt<arg::Text>>("working_dir", &ShellCommand::working_dir, "None"),
    kw<CallId>("call_id", &ShellCommand::call_id, "None"));

// WebFetch(url="https://...")
PyObject* web_fetch_repr(const WebFetch& fetch) { return ReprText("WebFetch").quoted("url", fetch.url).finish(); }

constexpr auto kWebFetch = describe<WebFetchClass>(
    {.name = "WebFetch", .doc = "Web fetch operation.", .repr = &web_fetch_repr},
    prop("call_id", &WebFetch::call_id),
    pos<arg::Text>("url", &WebFetch::url),
    pos<arg::Text>("prompt", &WebFetch::prompt),
    kw<CallId>("call_id", &WebFetch::call_id, "None"));

// FileOperation(operation=FileOpType.READ, path="a.py")
PyObject* file_operation_repr(const FileOperation& op) {
  return ReprText("FileOperation").member("operation", op.operation).quoted("path", op.path).finish();
}

constexpr auto kFileOperation = describe<FileOperationClass>(
    {.name = "FileOperation", .doc = "File system operation.", .repr = &file_operation_repr},
    prop("call_id", &FileOperation::call_id),
    pos<arg::Enum<FileOpType>>("operation", &FileOperation::operation),
    pos<arg::Text>("path", &FileOperation::path),
    kw<arg::Opt<arg::Text>>("content", &FileOperation::content, "None"),
    kw<arg::Opt<arg::Text>>("old_content", &FileOperation::old_content, "None"),
    kw<CallId>("call_id", &FileOperation::call_id, "None"));

// The static constructors always make a fresh call id.
PyObject* file_operation(event::FileOpType operation, std::string path, std::optional<std::string> content = std::nullopt,
                         std::optional<std::string> old_content = std::nullopt) {
  FileOperation op{{}, operation, std::move(path), std::move(content), std::move(old_content)};
  if (!generate_into(op.call_id, kCallIdPrefix)) return nullptr;
  return create_object<FileOperationClass>(std::move(op));
}
PyObject* read_impl(std::string path) { return file_operation(event::FileOpType::Read, std::move(path)); }
PyObject* write_impl(std::string path, std::string content) {
  return file_operation(event::FileOpType::Write, std::move(path), std::move(content));
}
PyObject* edit_impl(std::string path, std::string old_content, std::string new_content) {
  return file_operation(event::FileOpType::Edit, std::move(path), std::move(new_content), std::move(old_content));
}
PyObject* delete_impl(std::string path) { return file_operation(event::FileOpType::Delete, std::move(path)); }

constexpr auto kRead = signature("FileOperation", "read", "read(path)\n--\n\nCreate a read operation.", pos("path"));
constexpr auto kWrite = signature("FileOperation", "write", "write(path, content)\n--\n\nCreate a write operation.",
                                  pos("path"), pos("content"));
constexpr auto kEdit =
    signature("FileOperation", "edit", "edit(path, old_content, new_content)\n--\n\nCreate an edit operation.",
              pos("path"), pos("old_content"), pos("new_content"));
constexpr auto kDelete =
    signature("FileOperation", "delete", "delete(path)\n--\n\nCreate a delete operation.", pos("path"));

}  // namespace

template <>
const ClassDef& ToolCallClass::def() {
  return data_class<kToolCall>();
}

template <>
const ClassDef& ShellCommandClass::def() {
  return data_class<kShellCommand>();
}

template <>
const ClassDef& WebFetchClass::def() {
  return data_class<kWebFetch>();
}

template <>
const ClassDef& FileOperationClass::def() {
  return data_class<kFileOperation>({.methods = {
                                         static_method<kRead, &read_impl, arg::Text>(),
                                         static_method<kWrite, &write_impl, arg::Text, arg::Text>(),
                                         static_method<kEdit, &edit_impl, arg::Text, arg::Text, arg::Text>(),
                                         static_method<kDelete, &delete_impl, arg::Text>(),
                                     }});
}

}  // namespace revizer::python
