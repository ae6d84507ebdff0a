#pragma once

// How a gRPC status reads in a client error:
//   code: 'Internal error', message: "line\nwith \"quotes\"", source: <debug text>
// The description of the code, then the message as a quoted literal (only
// when not empty), then the debugging text of the underlying error (only
// when there is one).

#include <string>
#include <string_view>

#include "common/auth/grpc_status.h"

namespace revizer::client {

// The description of a status code ("Internal error" for INTERNAL). A number
// outside the protocol's 17 codes reads as UNKNOWN does.
std::string_view code_description(common::GrpcCode code);

void append_status_text(std::string& out, const common::GrpcStatus& status);

}  // namespace revizer::client
