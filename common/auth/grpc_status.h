#pragma once

// A gRPC status: the outcome of a call that did not succeed. The
// authorization code reports its failures as one (a code and a message), the
// wire decoder reports undecodable answers as one, and the channel fills the
// rest from what the server or the transport said. Printing it belongs to the
// client's errors (revizer/client/errors/status_text.h).

#include <optional>
#include <string>
#include <vector>

namespace revizer::common {

// The 17 status codes of the gRPC protocol, by their wire numbers.
enum class GrpcCode : int {
  Ok = 0,
  Cancelled = 1,
  Unknown = 2,
  InvalidArgument = 3,
  DeadlineExceeded = 4,
  NotFound = 5,
  AlreadyExists = 6,
  PermissionDenied = 7,
  ResourceExhausted = 8,
  FailedPrecondition = 9,
  Aborted = 10,
  OutOfRange = 11,
  Unimplemented = 12,
  Internal = 13,
  Unavailable = 14,
  DataLoss = 15,
  Unauthenticated = 16,
};

inline constexpr int kGrpcCodeCount = 17;

// One response header or trailer that came with the status (binary "-bin"
// values already decoded).
struct GrpcMetadataEntry {
  std::string key;
  std::string value;

  bool operator==(const GrpcMetadataEntry&) const = default;
};

struct GrpcStatus {
  GrpcCode code;
  std::string message;
  // The binary status details the server may attach.
  std::string details = {};
  std::vector<GrpcMetadataEntry> metadata = {};
  // The debugging text of the error underneath, when the status stands for
  // a transport failure.
  std::optional<std::string> source = {};

  bool operator==(const GrpcStatus&) const = default;
};

}  // namespace revizer::common
