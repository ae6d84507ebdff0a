#pragma once

// The shared shell of the test peers: a loopback acceptor and an io_context
// on its own thread; each accepted connection runs the given coroutine.

#include <asio.hpp>
#include <cstdint>
#include <functional>
#include <thread>

namespace revizer::peers {

class LoopbackServer {
 public:
  using Session = std::function<asio::awaitable<void>(asio::ip::tcp::socket)>;

  explicit LoopbackServer(Session session);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

 private:
  asio::awaitable<void> accept_loop();

  Session session_;
  asio::io_context context_;
  asio::ip::tcp::acceptor acceptor_;
  std::thread thread_;
};

}  // namespace revizer::peers
