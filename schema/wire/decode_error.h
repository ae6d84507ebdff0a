#pragma once

// Why a protobuf message did not decode: the description of the fault and
// one (message, field) entry for every message level the error passed
// through on its way out, innermost first. Printed as
// "failed to decode Protobuf message: Event.payload: AdjudicatesResponse.events: buffer underflow".

#include <string>
#include <vector>

#include "common/auth/grpc_status.h"

namespace revizer::wire {

struct DecodePathEntry {
  const char* message;
  const char* field;
};

struct DecodeError {
  std::string description;
  std::vector<DecodePathEntry> path;

  std::string to_string() const;
  // The status of a call whose answer did not decode: INTERNAL with the text.
  common::GrpcStatus to_status() const;
};

}  // namespace revizer::wire
