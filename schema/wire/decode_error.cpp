#include "schema/wire/decode_error.h"

namespace revizer::wire {

std::string DecodeError::to_string() const {
  std::string text = "failed to decode Protobuf message: ";
  for (const DecodePathEntry& entry : path) {
    text += entry.message;
    text += '.';
    text += entry.field;
    text += ": ";
  }
  text += description;
  return text;
}

common::GrpcStatus DecodeError::to_status() const { return {common::GrpcCode::Internal, to_string()}; }

}  // namespace revizer::wire
