#pragma once

// The outward error of one adjudication, derived from the client error:
//   Unavailable             "revizer unavailable: {detail}"
//   DeadlineExceeded        "revizer deadline exceeded: {detail}"
//   Unauthenticated         "unauthenticated: {detail}"
//   PermissionDenied        "permission denied: {detail}"
//   InvalidRequest          "invalid request: {detail}"
//   NotFound                "not found: {detail}"
//   AlreadyExists           "already exists: {detail}"
//   Decode                  "decode error: {detail}"
//   DeniedWhileChunkFailed  "adjudication was denied while another batch chunk
//                            failed: {text of the inner error}"
//   Server                  "server error: {detail}"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "revizer/client/errors/denied_adjudication.h"
#include "revizer/client/errors/revizer_client_error.h"

namespace revizer::client {

class AdjudicationError {
 public:
  enum class Kind : std::uint8_t {
    Unavailable,
    DeadlineExceeded,
    Unauthenticated,
    PermissionDenied,
    InvalidRequest,
    NotFound,
    AlreadyExists,
    Decode,
    DeniedWhileChunkFailed,
    Server,
  };

  struct DeniedWhileChunkFailed {
    DeniedAdjudication denied;  // not printed
    std::unique_ptr<AdjudicationError> error;
  };

  // Any kind but DeniedWhileChunkFailed, with its detail text.
  static AdjudicationError with_detail(Kind kind, std::string detail) { return {kind, std::move(detail)}; }
  static AdjudicationError denied_while_chunk_failed(DeniedAdjudication denied, AdjudicationError error) {
    return {Kind::DeniedWhileChunkFailed,
            DeniedWhileChunkFailed{std::move(denied), std::make_unique<AdjudicationError>(std::move(error))}};
  }

  // The derivation: Config becomes Server, Transport Unavailable, Auth
  // Unauthenticated, Decode Decode (details unchanged); EventTooLarge becomes
  // InvalidRequest with the client error's whole text; a status is sorted
  // by its code and keeps only its message; DeniedWhileChunkFailed moves its
  // record over and derives its inner error the same way.
  static AdjudicationError from_client_error(RevizerClientError error);

  Kind kind() const { return kind_; }
  // For every kind but DeniedWhileChunkFailed.
  const std::string& detail() const { return std::get<std::string>(content_); }
  const DeniedWhileChunkFailed& denied() const { return std::get<DeniedWhileChunkFailed>(content_); }

  void fmt(std::string& out) const;
  std::string to_string() const;

 private:
  using Content = std::variant<std::string, DeniedWhileChunkFailed>;
  AdjudicationError(Kind kind, Content content) : kind_(kind), content_(std::move(content)) {}

  Kind kind_;
  Content content_;
};

// The kind a gRPC status code derives to.
AdjudicationError::Kind adjudication_kind(common::GrpcCode code);

// "validation error: {detail}", the detail of the Decode error of an answer
// event whose payload does not decode.
void validation_error_fmt(std::string_view detail, std::string& out);

}  // namespace revizer::client
