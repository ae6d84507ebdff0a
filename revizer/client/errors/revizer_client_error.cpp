#include "revizer/client/errors/revizer_client_error.h"

#include "revizer/client/errors/status_text.h"

namespace revizer::client {

void RevizerClientError::fmt(std::string& out) const {
  switch (kind_) {
    case Kind::Config: out += "configuration error: "; break;
    case Kind::Transport: out += "transport setup failed: "; break;
    case Kind::Auth: out += "authentication setup failed: "; break;
    case Kind::Decode: out += "decode error: "; break;
    case Kind::EventTooLarge: {
      const EventTooLarge& e = too_large();
      out += "adjudication event ";
      out += std::to_string(e.index);
      out += " encodes to ";
      out += std::to_string(e.size);
      out += " bytes, exceeding the ";
      out += std::to_string(e.limit);
      out += "-byte gRPC request limit";
      return;
    }
    case Kind::DeniedWhileChunkFailed:
      out += "adjudication was denied while another batch chunk failed: ";
      denied().error->fmt(out);
      return;
    case Kind::Status:
      append_status_text(out, grpc_status());
      return;
  }
  out += detail();
}

std::string RevizerClientError::to_string() const {
  std::string out;
  fmt(out);
  return out;
}

}  // namespace revizer::client
