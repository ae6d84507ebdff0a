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

  // Listens on `port`, or on a port of its own choice when it is 0.
  explicit LoopbackServer(Session session, std::uint16_t port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
  // The executor of the sessions, to hand them work from other threads.
  asio::io_context::executor_type executor() { return context_.get_executor(); }

 private:
  asio::awaitable<void> accept_loop();

  Session session_;
  asio::io_context context_;
  asio::ip::tcp::acceptor acceptor_;
  std::thread thread_;
};

}  // namespace revizer::peers
