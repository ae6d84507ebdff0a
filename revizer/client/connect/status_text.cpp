#include "revizer/client/connect/status_text.h"

#include <array>

#include "common/error/io_error.h"

namespace revizer::client {

std::string status_text(const common::GrpcStatus& status) {
  static constexpr std::array<const char*, 17> kDescriptions{
      "The operation completed successfully",
      "The operation was cancelled",
      "Unknown error",
      "Client specified an invalid argument",
      "Deadline expired before operation could complete",
      "Some requested entity was not found",
      "Some entity that we attempted to create already exists",
      "The caller does not have permission to execute the specified operation",
      "Some resource has been exhausted",
      "The system is not in a state required for the operation's execution",
      "The operation was aborted",
      "Operation was attempted past the valid range",
      "Operation is not implemented or not supported",
      "Internal error",
      "The service is currently unavailable",
      "Unrecoverable data loss or corruption",
      "The request does not have valid authentication credentials"};
  const int code = static_cast<int>(status.code);
  std::string text = "code: '";
  text += (code >= 0 && code < 17) ? kDescriptions[code] : "Unknown error";
  text += "'";
  if (!status.message.empty()) text += ", message: " + common::quote_debug(status.message);
  return text;
}

}  // namespace revizer::client
