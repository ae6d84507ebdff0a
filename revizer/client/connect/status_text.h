#pragma once

#include <string>

#include "common/auth/grpc_status.h"

namespace revizer::client {

// "code: '<description>'" and, when there is one, ", message: " and the
// message as a quoted literal.
std::string status_text(const common::GrpcStatus& status);

}  // namespace revizer::client
