#pragma once

// Opens the byte stream for one HTTP/2 connection: TCP to the endpoint or a
// CONNECT tunnel through the proxy, then TLS when the client has TLS
// settings. The channel calls it for the first connection and after every
// lost one. Cancellation of the awaiting coroutine ends it at once and
// closes its socket.

#include <asio/awaitable.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/proxy/proxy_config.h"
#include "revizer/client/transport/tls_settings.h"
#include "revizer/client/transport/transport.h"
#include "revizer/client/transport/transport_failure.h"
#include "support/result.h"

namespace revizer::client {

struct ConnectTarget {
  std::string scheme;  // lower case for http and https
  std::string host;    // as written in the endpoint (IPv6 keeps its brackets)
  std::optional<std::uint16_t> port;

  std::uint16_t port_or_default() const { return port.value_or(scheme == "https" ? 443 : 80); }
};

class Connector {
 public:
  Connector(ConnectTarget target, std::optional<common::ProxyConfig> proxy, std::shared_ptr<TlsSettings> tls)
      : target_(std::move(target)), proxy_(std::move(proxy)), tls_(std::move(tls)) {}

  asio::awaitable<Result<Transport, TransportFailure>> connect() const;

  const ConnectTarget& target() const { return target_; }
  bool uses_tls() const { return tls_ != nullptr; }

 private:
  ConnectTarget target_;
  std::optional<common::ProxyConfig> proxy_;
  std::shared_ptr<TlsSettings> tls_;
};

}  // namespace revizer::client
