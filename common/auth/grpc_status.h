#pragma once

// A gRPC status as the authorization code reports it: a code and a message.
// The channel turns it into the outcome of the call.

#include <string>

namespace revizer::common {

enum class GrpcCode : int {
  Internal = 13,
  Unavailable = 14,
};

struct GrpcStatus {
  GrpcCode code;
  std::string message;

  bool operator==(const GrpcStatus&) const = default;
};

}  // namespace revizer::common
