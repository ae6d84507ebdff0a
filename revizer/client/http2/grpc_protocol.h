#pragma once

// The small texts and numbers of gRPC over HTTP/2 that the call needs: the
// "grpc-timeout" value, the 5-byte message prefix, "grpc-message"
// percent-decoding, and the status a failed HTTP exchange maps to.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/auth/grpc_status.h"

namespace revizer::client {

using common::GrpcCode;

// A status from a code number as a peer sends it; numbers outside the
// protocol's codes read as UNKNOWN.
common::GrpcStatus grpc_status(int code, std::string message);
common::GrpcStatus grpc_status(GrpcCode code, std::string message);

inline constexpr std::size_t kMessagePrefixBytes = 5;

// "grpc-timeout": the finest unit of n, u, m, S, M, H in which the number
// stays below 100,000,000.
std::string grpc_timeout_text(std::chrono::nanoseconds timeout);

// The prefix of one uncompressed message of `length` bytes.
void write_message_prefix(char* out, std::uint32_t length);

// "%XX" sequences decoded; anything else, malformed sequences included, kept.
std::string percent_decode(std::string_view text);

// The status of an answer whose HTTP status is not 200 and that carries no
// "grpc-status", by the gRPC mapping of HTTP codes.
common::GrpcStatus status_from_http(int http_status);

// The status of a stream the server reset with an HTTP/2 error code.
common::GrpcStatus status_from_reset(std::uint32_t error_code);

}  // namespace revizer::client
