#include "revizer/client/http2/grpc_answer.h"

#include <nghttp2/nghttp2.h>

#include "revizer/client/http2/grpc_protocol.h"
#include "revizer/client/http2/http2_test_hooks.h"
#include "schema/wire/message_limits.h"

namespace revizer::client {
namespace {

std::size_t message_length(const std::string& prefixed) {
  const auto* p = reinterpret_cast<const unsigned char*>(prefixed.data());
  return (std::size_t{p[1]} << 24) | (std::size_t{p[2]} << 16) | (std::size_t{p[3]} << 8) | p[4];
}

}  // namespace

bool is_grpc_content_type(std::string_view type) {
  constexpr std::string_view kGrpc = "application/grpc";
  if (type.size() < kGrpc.size()) return false;
  for (std::size_t i = 0; i < kGrpc.size(); ++i) {
    const char c = type[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kGrpc[i]) return false;
  }
  return type.size() == kGrpc.size() || type[kGrpc.size()] == '+' || type[kGrpc.size()] == ';';
}

CallOutcome answer_outcome(UnaryCall& call, std::uint32_t error_code) {
  if (call.failure) return fail(std::move(*call.failure));
  // An answer that is not gRPC's says what it is by its HTTP status, even
  // when it carries a "grpc-status".
  if (call.http_status != 0 && call.http_status != 200) return fail(status_from_http(call.http_status));
  if (!call.grpc_status && error_code != NGHTTP2_NO_ERROR) return fail(status_from_reset(error_code));
  if (call.http_status == 200 && !(call.content_type && is_grpc_content_type(*call.content_type))) {
    return fail(grpc_status(GrpcCode::Unknown, call.content_type ? "invalid content-type: " + *call.content_type
                                                                 : std::string("missing content-type")));
  }
  if (!call.grpc_status) return fail(grpc_status(GrpcCode::Internal, "protocol error: missing grpc-status"));
  if (*call.grpc_status != 0) return fail(grpc_status(*call.grpc_status, percent_decode(call.grpc_message)));
  if (call.data.size() < kMessagePrefixBytes) return fail(grpc_status(GrpcCode::Internal, "Missing response message."));
  if (call.data[0] != 0) {
    return fail(grpc_status(GrpcCode::Internal, "protocol error: received a compressed message, but no compression was negotiated"));
  }
  const std::size_t length = message_length(call.data);
  if (call.data.size() < kMessagePrefixBytes + length) {
    return fail(grpc_status(GrpcCode::Internal, "protocol error: the answer ended inside a message"));
  }
  call.data.erase(0, kMessagePrefixBytes);
  return std::move(call.data);
}

void take_answer_data(UnaryCall& call, std::string_view bytes) {
  if (call.failure || !call.grpc_body) return;
  http2_test_hooks::maybe_fail_allocation();
  std::size_t wanted = kMessagePrefixBytes;
  if (call.data.size() >= kMessagePrefixBytes) wanted += message_length(call.data);
  while (!bytes.empty() && call.data.size() < wanted) {
    const std::size_t n = std::min(bytes.size(), wanted - call.data.size());
    call.data.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
    if (call.data.size() == kMessagePrefixBytes) {
      const std::size_t length = message_length(call.data);
      if (length > wire::kMaxMessageBytes) {
        call.failure = wire::decoded_message_too_large(length, wire::kMaxMessageBytes);
        return;
      }
      wanted += length;
      call.data.reserve(wanted);
    }
  }
  if (!bytes.empty()) call.failure = grpc_status(GrpcCode::Internal, "More than one value received for unary call");
}

void take_answer_header(UnaryCall& call, std::string_view key, std::string_view text) {
  if (key == ":status") {
    int status = 0;
    for (char c : text) status = (c >= '0' && c <= '9' && status < 1000) ? status * 10 + (c - '0') : 1000;
    call.http_status = status;
  } else if (key == "grpc-status") {
    // At most three digits are read: a longer value is no status code
    // (and must not overflow on the way).
    int code = 0;
    bool valid = !text.empty() && text.size() <= 3;
    for (std::size_t i = 0; valid && i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') valid = false;
      else code = code * 10 + (text[i] - '0');
    }
    call.grpc_status = valid ? code : static_cast<int>(GrpcCode::Unknown);
  } else if (key == "grpc-message") {
    call.grpc_message.assign(text);
  } else if (key == "content-type" && !call.head_read) {
    call.content_type.emplace(text);
  }
}

void end_answer_header_block(UnaryCall& call) {
  if (call.head_read) return;  // the trailers
  if (call.http_status >= 100 && call.http_status < 200) {
    // An informational head says nothing of the answer; the next block is
    // its head.
    call.http_status = 0;
    call.content_type.reset();
    call.grpc_status.reset();
    call.grpc_message.clear();
    return;
  }
  call.head_read = true;
  call.grpc_body = call.http_status == 200 && call.content_type && is_grpc_content_type(*call.content_type);
}

}  // namespace revizer::client
