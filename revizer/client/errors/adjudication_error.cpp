#include "revizer/client/errors/adjudication_error.h"

#include <array>

namespace revizer::client {
namespace {

using Kind = AdjudicationError::Kind;

constexpr std::array<std::string_view, 10> kPrefixes = {
    "revizer unavailable: ", "revizer deadline exceeded: ", "unauthenticated: ", "permission denied: ",
    "invalid request: ",     "not found: ",                 "already exists: ",  "decode error: ",
    "adjudication was denied while another batch chunk failed: ", "server error: ",
};

// By status code, OK (0) to UNAUTHENTICATED (16). CANCELLED counts as a
// deadline: the client's own deadline ends a call with CANCELLED.
constexpr std::array<Kind, common::kGrpcCodeCount> kByCode = {
    Kind::Server,            // OK
    Kind::DeadlineExceeded,  // CANCELLED
    Kind::Server,            // UNKNOWN
    Kind::InvalidRequest,    // INVALID_ARGUMENT
    Kind::DeadlineExceeded,  // DEADLINE_EXCEEDED
    Kind::NotFound,          // NOT_FOUND
    Kind::AlreadyExists,     // ALREADY_EXISTS
    Kind::PermissionDenied,  // PERMISSION_DENIED
    Kind::Server,            // RESOURCE_EXHAUSTED
    Kind::Server,            // FAILED_PRECONDITION
    Kind::Server,            // ABORTED
    Kind::Server,            // OUT_OF_RANGE
    Kind::Server,            // UNIMPLEMENTED
    Kind::Server,            // INTERNAL
    Kind::Unavailable,       // UNAVAILABLE
    Kind::Server,            // DATA_LOSS
    Kind::Unauthenticated,   // UNAUTHENTICATED
};

}  // namespace

AdjudicationError::Kind adjudication_kind(common::GrpcCode code) {
  const auto n = static_cast<int>(code);
  if (n < 0 || n >= common::kGrpcCodeCount) return Kind::Server;  // read as UNKNOWN
  return kByCode[static_cast<std::size_t>(n)];
}

AdjudicationError AdjudicationError::from_client_error(RevizerClientError error) {
  using From = RevizerClientError::Kind;
  switch (error.kind()) {
    case From::Config:
      return with_detail(Kind::Server, std::get<std::string>(std::move(error.content_)));
    case From::Transport:
      return with_detail(Kind::Unavailable, std::get<std::string>(std::move(error.content_)));
    case From::Auth:
      return with_detail(Kind::Unauthenticated, std::get<std::string>(std::move(error.content_)));
    case From::Decode:
      return with_detail(Kind::Decode, std::get<std::string>(std::move(error.content_)));
    case From::EventTooLarge:
      return with_detail(Kind::InvalidRequest, error.to_string());
    case From::DeniedWhileChunkFailed: {
      auto denied = std::get<RevizerClientError::DeniedWhileChunkFailed>(std::move(error.content_));
      return denied_while_chunk_failed(std::move(denied.denied), from_client_error(std::move(*denied.error)));
    }
    case From::Status: {
      auto status = std::get<std::unique_ptr<common::GrpcStatus>>(std::move(error.content_));
      return with_detail(adjudication_kind(status->code), std::move(status->message));
    }
  }
  return with_detail(Kind::Server, error.to_string());
}

void AdjudicationError::fmt(std::string& out) const {
  out += kPrefixes[static_cast<std::size_t>(kind_)];
  if (kind_ == Kind::DeniedWhileChunkFailed) {
    denied().error->fmt(out);
  } else {
    out += detail();
  }
}

std::string AdjudicationError::to_string() const {
  std::string out;
  fmt(out);
  return out;
}

void validation_error_fmt(std::string_view detail, std::string& out) {
  out += "validation error: ";
  out += detail;
}

}  // namespace revizer::client
