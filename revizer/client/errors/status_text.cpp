#include "revizer/client/errors/status_text.h"

#include <array>

#include "text/quoted_text.h"

namespace revizer::client {
namespace {

constexpr std::array<std::string_view, common::kGrpcCodeCount> kDescriptions = {
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
    "The request does not have valid authentication credentials",
};

}  // namespace

std::string_view code_description(common::GrpcCode code) {
  const auto n = static_cast<int>(code);
  if (n < 0 || n >= common::kGrpcCodeCount) return kDescriptions[static_cast<int>(common::GrpcCode::Unknown)];
  return kDescriptions[static_cast<std::size_t>(n)];
}

void append_status_text(std::string& out, const common::GrpcStatus& status) {
  out += "code: '";
  out += code_description(status.code);
  out += '\'';
  if (!status.message.empty()) {
    out += ", message: ";
    unicode::append_quoted(out, status.message);
  }
  if (status.source) {
    out += ", source: ";
    out += *status.source;
  }
}

}  // namespace revizer::client
