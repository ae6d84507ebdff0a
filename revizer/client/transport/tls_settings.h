#pragma once

// The TLS client settings of one connect: TLS 1.2 or 1.3, the system roots
// (SSL_CERT_FILE / SSL_CERT_DIR, else the OS bundle) plus the built-in public
// roots, no client certificate, ALPN "h2". The settings are made once per
// connect and reused by every reconnection of that client.

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ssl/context.hpp>
#include <memory>
#include <string>

#include "revizer/client/transport/transport.h"
#include "revizer/client/transport/transport_failure.h"
#include "support/result.h"

namespace revizer::client {

class TlsSettings {
 public:
  // Reads the system roots now. Fails with the library's text.
  static Result<std::shared_ptr<TlsSettings>, std::string> build();

  // Runs the handshake over `socket` for `host` (SNI for names, the
  // certificate checked against the name or the address), then requires the
  // server to have selected "h2".
  asio::awaitable<Result<Transport, TransportFailure>> handshake(asio::ip::tcp::socket socket, std::string host);

  explicit TlsSettings(asio::ssl::context context) : context_(std::move(context)) {}

 private:
  asio::ssl::context context_;
};

}  // namespace revizer::client
