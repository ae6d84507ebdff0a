#include "revizer/client/http2/grpc_protocol.h"

#include <array>
#include <nghttp2/nghttp2.h>

namespace revizer::client {

common::GrpcStatus grpc_status(int code, std::string message) {
  if (code < 0 || code >= common::kGrpcCodeCount) return grpc_status(GrpcCode::Unknown, std::move(message));
  return grpc_status(static_cast<GrpcCode>(code), std::move(message));
}

common::GrpcStatus grpc_status(GrpcCode code, std::string message) {
  common::GrpcStatus status{code, std::move(message)};
  return status;
}

std::string grpc_timeout_text(std::chrono::nanoseconds timeout) {
  struct Unit {
    char letter;
    std::int64_t nanos;
  };
  static constexpr std::array<Unit, 6> kUnits{{{'n', 1},
                                               {'u', 1'000},
                                               {'m', 1'000'000},
                                               {'S', 1'000'000'000},
                                               {'M', 60'000'000'000},
                                               {'H', 3'600'000'000'000}}};
  const std::int64_t nanos = timeout.count() < 0 ? 0 : timeout.count();
  for (const Unit& unit : kUnits) {
    const std::int64_t value = nanos / unit.nanos;
    if (value < 100'000'000) return std::to_string(value) + unit.letter;
  }
  return "99999999H";
}

void write_message_prefix(char* out, std::uint32_t length) {
  out[0] = 0;
  out[1] = static_cast<char>(length >> 24);
  out[2] = static_cast<char>(length >> 16);
  out[3] = static_cast<char>(length >> 8);
  out[4] = static_cast<char>(length);
}

std::string percent_decode(std::string_view text) {
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hex(text[i + 1]);
      const int low = hex(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

common::GrpcStatus status_from_http(int http_status) {
  GrpcCode code = GrpcCode::Unknown;
  switch (http_status) {
    case 400: code = GrpcCode::Internal; break;
    case 401: code = GrpcCode::Unauthenticated; break;
    case 403: code = GrpcCode::PermissionDenied; break;
    case 404: code = GrpcCode::Unimplemented; break;
    case 429:
    case 502:
    case 503:
    case 504: code = GrpcCode::Unavailable; break;
    default: break;
  }
  return grpc_status(code, "grpc-status header missing, mapped from HTTP status code " + std::to_string(http_status));
}

common::GrpcStatus status_from_reset(std::uint32_t error_code) {
  GrpcCode code = GrpcCode::Internal;
  switch (error_code) {
    case NGHTTP2_REFUSED_STREAM: code = GrpcCode::Unavailable; break;
    case NGHTTP2_CANCEL: code = GrpcCode::Cancelled; break;
    case NGHTTP2_ENHANCE_YOUR_CALM: code = GrpcCode::ResourceExhausted; break;
    case NGHTTP2_INADEQUATE_SECURITY: code = GrpcCode::PermissionDenied; break;
    default: break;
  }
  return grpc_status(code, std::string("stream reset by the server: ") + nghttp2_http2_strerror(error_code));
}

}  // namespace revizer::client
