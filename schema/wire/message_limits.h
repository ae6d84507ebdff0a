#pragma once

// The size limit the channel puts on every request and answer message (the
// 5-byte gRPC prefix not counted; a message of exactly the limit passes),
// and the statuses that refuse a longer one.

#include <cstdint>

#include "common/auth/grpc_status.h"

namespace revizer::wire {

inline constexpr std::uint64_t kMaxMessageBytes = 16u * 1024u * 1024u;

// OUT_OF_RANGE "Error, encoded message length too large: ..." for a request.
common::GrpcStatus encoded_message_too_large(std::uint64_t found, std::uint64_t limit);
// OUT_OF_RANGE "Error, decoded message length too large: ..." for an answer.
common::GrpcStatus decoded_message_too_large(std::uint64_t found, std::uint64_t limit);

}  // namespace revizer::wire
