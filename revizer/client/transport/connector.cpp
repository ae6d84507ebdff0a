#include "revizer/client/transport/connector.h"

#include "common/proxy/proxy_tunnel.h"

namespace revizer::client {
namespace {

TransportFailure tunnel_failure(const common::TunnelError& error) {
  TransportFailure failure{{common::tunnel_error_text(error)}};
  if (const auto* proxy = std::get_if<common::ProxyError>(&error)) {
    if (const auto* cause = proxy->cause()) failure.causes.push_back(cause->text);
  }
  return failure;
}

}  // namespace

asio::awaitable<Result<Transport, TransportFailure>> Connector::connect() const {
  if (target_.scheme == "https" && !tls_) co_return fail(TransportFailure{{"Connecting to HTTPS without TLS enabled"}});
  const std::uint16_t port = target_.port_or_default();
  std::optional<asio::ip::tcp::socket> socket;
  if (proxy_) {
    // No temporaries beside co_await: GCC 12 frees them wrongly.
    const common::ProxyConnector connector(*proxy_);
    common::TunnelTarget target{target_.scheme, target_.host, port};
    auto tunnel = co_await connector.call(std::move(target));
    if (!tunnel) co_return fail(tunnel_failure(tunnel.error()));
    socket.emplace(std::move(tunnel->socket));
  } else {
    auto connected = co_await common::tcp_connect(target_.host, port);
    if (!connected) co_return fail(TransportFailure{{"tcp connect error", connected.error().text}});
    socket.emplace(std::move(*connected));
  }
  // A stop that came just as the connection was made must not start TLS.
  if (co_await common::cancellation_requested()) co_return fail(TransportFailure{{"the connection attempt was abandoned"}});
  asio::error_code ignored;
  // Small frames (headers, window updates) must not wait for Nagle's timer.
  socket->set_option(asio::ip::tcp::no_delay(true), ignored);
  if (!tls_) co_return Transport(std::move(*socket));
  std::string host = target_.host;
  co_return co_await tls_->handshake(std::move(*socket), std::move(host));
}

}  // namespace revizer::client
