#pragma once

// A TLS server that never selects "h2" by ALPN: the openssl command line
// tool's s_server. Without `alpn` it ignores ALPN, so a client that offers
// "h2" completes the handshake with no protocol selected, which a gRPC client
// must refuse; with `alpn` (say "http/1.1") it ends the handshake of a client
// that offers none of those with a no_application_protocol alert.

#include <cstdint>
#include <memory>
#include <string>

#include "tests/peers/peer_process.h"

namespace revizer::peers {

class OpensslTlsServer {
 public:
  OpensslTlsServer(const std::string& cert, const std::string& key, const std::string& alpn = "");

  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }

 private:
  std::unique_ptr<PeerProcess> process_;
  std::uint16_t port_ = 0;
};

}  // namespace revizer::peers
