#pragma once

// The tunnel through an HTTP CONNECT proxy: a TCP connection to the proxy,
// "CONNECT host:port HTTP/1.1", and a 2xx reply head read byte by byte so
// that nothing after it is taken from the stream. The returned socket is
// positioned just after the head, ready for TLS or HTTP/2.

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "common/error/io_error.h"
#include "common/proxy/proxy_config.h"
#include "common/proxy/proxy_error.h"
#include "support/result.h"

namespace revizer::common {

inline constexpr std::size_t kMaxConnectResponseHead = 8192;

// Where one connection should end up, as the channel's URI gives it.
struct TunnelTarget {
  std::string scheme;
  std::string host;  // as written in the URI (an IPv6 address keeps its brackets)
  std::optional<std::uint16_t> port;
};

struct Tunnel {
  asio::ip::tcp::socket socket;
  bool https;  // the channel runs TLS over the tunnel when true
};

// A proxy failure, or an I/O error (kind "other") for a target without a host.
using TunnelError = std::variant<ProxyError, IoError>;
std::string tunnel_error_text(const TunnelError& error);

// Whether the awaiting coroutine has been told to stop. An operation under
// way ends at once when that happens, but one that has already completed
// (or a name lookup, which cannot be interrupted) comes back normally: the
// steps of a connection look here before they start the next one.
asio::awaitable<bool> cancellation_requested();

// A TCP connection to `host` (an address as text, IPv6 in brackets or not, or
// a name looked up on asio's resolver thread), trying the addresses in order;
// the last failure is the one reported. Cancellation ends it with an
// "operation aborted" failure, and no socket stays open.
asio::awaitable<Result<asio::ip::tcp::socket, IoError>> tcp_connect(const std::string& host, std::uint16_t port);

// The body of one tunnel: connect, send CONNECT, read and judge the reply
// head. Cancellation ends it as a read or send failure at the proxy.
asio::awaitable<Result<asio::ip::tcp::socket, ProxyError>> connect_tunnel(ProxyConfig proxy, std::string target_host,
                                                                         std::uint16_t target_port);

// The channel's connector when a proxy is configured: each call builds a new
// tunnel through the same proxy.
class ProxyConnector {
 public:
  explicit ProxyConnector(ProxyConfig config) : config_(std::move(config)) {}

  asio::awaitable<Result<Tunnel, TunnelError>> call(TunnelTarget target) const;
  const ProxyConfig& config() const { return config_; }

 private:
  ProxyConfig config_;
};

}  // namespace revizer::common
