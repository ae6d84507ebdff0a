#include "tests/peers/echo_server.h"

#include "tests/peers/loopback_server.h"

namespace revizer::peers {
namespace {

asio::awaitable<void> echo(asio::ip::tcp::socket socket) {
  char data[4096];
  for (;;) {
    asio::error_code ec;
    const std::size_t n = co_await socket.async_read_some(asio::buffer(data), asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    co_await asio::async_write(socket, asio::buffer(data, n), asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
  }
}

}  // namespace

EchoServer::EchoServer() : server_(std::make_unique<LoopbackServer>(&echo)) {}
EchoServer::~EchoServer() = default;
std::uint16_t EchoServer::port() const { return server_->port(); }

}  // namespace revizer::peers
