#include "common/proxy/proxy_tunnel.h"

#include <asio/connect.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <vector>

#include "common/error/asio_error.h"
#include "text/properties.h"
#include "text/utf8_bytes.h"
#include "text/white_space.h"

namespace revizer::common {
namespace {

using asio::ip::tcp;
using Kind = ProxyError::Kind;

// An address written as text is used directly (brackets of an IPv6 host
// removed); any other host is looked up by name.
asio::awaitable<Result<std::vector<tcp::endpoint>, IoError>> endpoints_of(const std::string& host, std::uint16_t port) {
  std::string literal = host;
  if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']') literal = literal.substr(1, literal.size() - 2);
  asio::error_code ec;
  const auto address = asio::ip::make_address(literal, ec);
  if (!ec) co_return std::vector<tcp::endpoint>{{address, port}};

  tcp::resolver resolver(co_await asio::this_coro::executor);
  const auto results = co_await resolver.async_resolve(host, std::to_string(port), tcp::resolver::numeric_service,
                                                       asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return fail(io_error_from(ec));
  std::vector<tcp::endpoint> endpoints;
  for (const auto& entry : results) endpoints.push_back(entry.endpoint());
  co_return endpoints;
}

}  // namespace

asio::awaitable<bool> cancellation_requested() {
  const asio::cancellation_state state = co_await asio::this_coro::cancellation_state;
  co_return state.cancelled() != asio::cancellation_type::none;
}

asio::awaitable<Result<tcp::socket, IoError>> tcp_connect(const std::string& host, std::uint16_t port) {
  auto endpoints = co_await endpoints_of(host, port);
  if (!endpoints) co_return fail(std::move(endpoints).error());
  if (endpoints->empty()) co_return fail(IoError::custom("could not resolve to any address"));
  IoError last;
  for (const auto& endpoint : *endpoints) {
    if (co_await cancellation_requested()) co_return fail(io_error_from(asio::error::operation_aborted));
    tcp::socket socket(co_await asio::this_coro::executor);
    asio::error_code ec;
    co_await socket.async_connect(endpoint, asio::redirect_error(asio::use_awaitable, ec));
    if (!ec) co_return std::move(socket);
    last = io_error_from(ec);
  }
  co_return fail(std::move(last));
}

namespace {

// The status line when the reply is not a 2xx, else nothing.
std::optional<std::string> refused_status_line(const std::string& head) {
  std::string line = unicode::decode_utf8_lossy(head.substr(0, head.find('\n')));
  if (line.ends_with('\r')) line.pop_back();
  std::string_view rest = line;
  std::string_view pieces[2];
  for (auto& piece : pieces) {
    rest = unicode::trim_white_space_start(rest);
    std::size_t end = 0;
    while (end < rest.size()) {
      const unicode::Decoded d = unicode::decode_utf8_at(rest, end);
      if (unicode::is_white_space(d.code_point)) break;
      end += d.length;
    }
    piece = rest.substr(0, end);
    rest.remove_prefix(end);
  }
  const std::string_view status = pieces[1];
  const bool three_digits = status.size() == 3 && status.find_first_not_of("0123456789") == std::string_view::npos;
  if (three_digits && status >= "200" && status <= "299") return std::nullopt;
  return line;
}

}  // namespace

std::string tunnel_error_text(const TunnelError& error) {
  if (const auto* proxy = std::get_if<ProxyError>(&error)) return proxy->text();
  return std::get<IoError>(error).text;
}

asio::awaitable<Result<tcp::socket, ProxyError>> connect_tunnel(ProxyConfig proxy, std::string target_host,
                                                               std::uint16_t target_port) {
  const auto io_failure = [&](Kind kind, IoError source) { return fail(ProxyError::io(kind, proxy.host, proxy.port, std::move(source))); };
  auto connected = co_await tcp_connect(proxy.host, proxy.port);
  if (!connected) co_return io_failure(Kind::Connect, std::move(connected).error());
  tcp::socket socket = std::move(*connected);

  const std::string target = target_host + ":" + std::to_string(target_port);
  const std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n";
  asio::error_code ec;
  co_await asio::async_write(socket, asio::buffer(request), asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return io_failure(Kind::Send, io_error_from(ec));

  // One byte per read: the bytes after the head belong to the channel.
  std::string head;
  for (;;) {
    if (co_await cancellation_requested()) co_return io_failure(Kind::Read, io_error_from(asio::error::operation_aborted));
    char byte = 0;
    const std::size_t n = co_await socket.async_read_some(asio::buffer(&byte, 1), asio::redirect_error(asio::use_awaitable, ec));
    if (ec == asio::error::eof || (!ec && n == 0)) {
      co_return fail(ProxyError::at_proxy(Kind::ClosedDuringConnect, proxy.host, proxy.port));
    }
    if (ec) co_return io_failure(Kind::Read, io_error_from(ec));
    head.push_back(byte);
    if (head.size() >= 4 && head.ends_with("\r\n\r\n")) break;
    if (head.size() >= kMaxConnectResponseHead) {
      co_return fail(ProxyError::at_proxy(Kind::OversizedResponse, proxy.host, proxy.port));
    }
  }
  if (auto refused = refused_status_line(head)) {
    co_return fail(ProxyError::connect_refused(proxy.host, proxy.port, std::move(target_host), target_port, std::move(*refused)));
  }
  co_return std::move(socket);
}

asio::awaitable<Result<Tunnel, TunnelError>> ProxyConnector::call(TunnelTarget target) const {
  const bool https = target.scheme == "https";
  if (target.host.empty()) co_return fail(TunnelError(IoError::custom("endpoint URI has no host")));
  const std::uint16_t port = target.port.value_or(https ? 443 : 80);
  auto socket = co_await connect_tunnel(config_, std::move(target.host), port);
  if (!socket) co_return fail(TunnelError(std::move(socket).error()));
  co_return Tunnel{std::move(*socket), https};
}

}  // namespace revizer::common
