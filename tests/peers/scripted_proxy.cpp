#include "tests/peers/scripted_proxy.h"

#include <mutex>

#include "tests/peers/loopback_server.h"

namespace revizer::peers {

using asio::ip::tcp;

struct ScriptedProxy::State {
  State(std::string r, Then t)
      : reply(std::move(r)), then(t), server([this](tcp::socket socket) { return serve(std::move(socket)); }) {}

  asio::awaitable<void> serve(tcp::socket socket) {
    std::string head;
    asio::error_code ec;
    co_await asio::async_read_until(socket, asio::dynamic_buffer(head), "\r\n\r\n",
                                    asio::redirect_error(asio::use_awaitable, ec));
    {
      std::lock_guard hold(lock);
      request = head;
    }
    co_await asio::async_write(socket, asio::buffer(reply), asio::redirect_error(asio::use_awaitable, ec));
    if (then == Then::Reset) {
      socket.set_option(asio::socket_base::linger(true, 0), ec);
      socket.close(ec);
    } else if (then == Then::KeepOpen) {
      // Hold the connection until the client goes away.
      char byte;
      co_await socket.async_read_some(asio::buffer(&byte, 1), asio::redirect_error(asio::use_awaitable, ec));
    }
  }

  const std::string reply;
  const Then then;
  mutable std::mutex lock;
  std::string request;
  LoopbackServer server;
};

ScriptedProxy::ScriptedProxy(std::string reply, Then then) : state_(std::make_unique<State>(std::move(reply), then)) {}
ScriptedProxy::~ScriptedProxy() = default;

std::uint16_t ScriptedProxy::port() const { return state_->server.port(); }

std::string ScriptedProxy::last_request() const {
  std::lock_guard hold(state_->lock);
  return state_->request;
}

}  // namespace revizer::peers
