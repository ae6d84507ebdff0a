#include "tests/peers/loopback_server.h"

namespace revizer::peers {

using asio::ip::tcp;

LoopbackServer::LoopbackServer(Session session, std::uint16_t port)
    : session_(std::move(session)), acceptor_(context_, tcp::endpoint(asio::ip::address_v4::loopback(), port)) {
  asio::co_spawn(context_, accept_loop(), asio::detached);
  thread_ = std::thread([this] { context_.run(); });
}

LoopbackServer::~LoopbackServer() {
  context_.stop();
  thread_.join();
}

asio::awaitable<void> LoopbackServer::accept_loop() {
  for (;;) {
    asio::error_code ec;
    tcp::socket socket = co_await acceptor_.async_accept(asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    asio::co_spawn(context_, session_(std::move(socket)), asio::detached);
  }
}

}  // namespace revizer::peers
