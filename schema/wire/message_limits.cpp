#include "schema/wire/message_limits.h"

#include <string>

namespace revizer::wire {
namespace {

common::GrpcStatus too_large(const char* direction, std::uint64_t found, std::uint64_t limit) {
  std::string message = "Error, ";
  message += direction;
  message += " message length too large: found ";
  message += std::to_string(found);
  message += " bytes, the limit is: ";
  message += std::to_string(limit);
  message += " bytes";
  return {common::GrpcCode::OutOfRange, std::move(message)};
}

}  // namespace

common::GrpcStatus encoded_message_too_large(std::uint64_t found, std::uint64_t limit) {
  return too_large("encoded", found, limit);
}

common::GrpcStatus decoded_message_too_large(std::uint64_t found, std::uint64_t limit) {
  return too_large("decoded", found, limit);
}

}  // namespace revizer::wire
