#pragma once

// The error of the client core: connecting and the Adjudicates call return
// it, the Python layer prints it. Seven kinds, each with its fixed text:
//   Config                  "configuration error: {detail}"
//   Transport               "transport setup failed: {detail}"
//   Auth                    "authentication setup failed: {detail}"
//   Decode                  "decode error: {detail}"
//   EventTooLarge           "adjudication event {index} encodes to {size} bytes,
//                            exceeding the {limit}-byte gRPC request limit"
//   DeniedWhileChunkFailed  "adjudication was denied while another batch chunk
//                            failed: {text of the inner error}"
//   Status                  the status text (status_text.h)

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "common/auth/grpc_status.h"
#include "revizer/client/errors/denied_adjudication.h"

namespace revizer::client {

class RevizerClientError {
 public:
  enum class Kind : std::uint8_t { Config, Transport, Auth, Decode, EventTooLarge, DeniedWhileChunkFailed, Status };

  struct EventTooLarge {
    std::uint64_t index;  // the event's position in the caller's list
    std::uint64_t size;   // the bytes it takes inside a request
    std::uint64_t limit;  // the request limit
  };
  struct DeniedWhileChunkFailed {
    DeniedAdjudication denied;  // not printed
    std::unique_ptr<RevizerClientError> error;
  };

  static RevizerClientError config(std::string detail) { return {Kind::Config, std::move(detail)}; }
  static RevizerClientError transport(std::string detail) { return {Kind::Transport, std::move(detail)}; }
  static RevizerClientError auth(std::string detail) { return {Kind::Auth, std::move(detail)}; }
  static RevizerClientError decode(std::string detail) { return {Kind::Decode, std::move(detail)}; }
  static RevizerClientError event_too_large(std::uint64_t index, std::uint64_t size, std::uint64_t limit) {
    return {Kind::EventTooLarge, EventTooLarge{index, size, limit}};
  }
  static RevizerClientError denied_while_chunk_failed(DeniedAdjudication denied, RevizerClientError error) {
    return {Kind::DeniedWhileChunkFailed,
            DeniedWhileChunkFailed{std::move(denied), std::make_unique<RevizerClientError>(std::move(error))}};
  }
  static RevizerClientError status(common::GrpcStatus status) {
    return {Kind::Status, std::make_unique<common::GrpcStatus>(std::move(status))};
  }

  Kind kind() const { return kind_; }
  // Each accessor is for its kinds only: the detail text of Config,
  // Transport, Auth and Decode, and the content of the other three.
  const std::string& detail() const { return std::get<std::string>(content_); }
  const EventTooLarge& too_large() const { return std::get<EventTooLarge>(content_); }
  const DeniedWhileChunkFailed& denied() const { return std::get<DeniedWhileChunkFailed>(content_); }
  const common::GrpcStatus& grpc_status() const { return *std::get<std::unique_ptr<common::GrpcStatus>>(content_); }

  // Writes the error's text.
  void fmt(std::string& out) const;
  std::string to_string() const;

 private:
  friend class AdjudicationError;
  using Content = std::variant<std::string, EventTooLarge, DeniedWhileChunkFailed, std::unique_ptr<common::GrpcStatus>>;

  RevizerClientError(Kind kind, Content content) : kind_(kind), content_(std::move(content)) {}

  Kind kind_;
  Content content_;
};

}  // namespace revizer::client
