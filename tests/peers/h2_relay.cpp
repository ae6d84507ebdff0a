#include "tests/peers/h2_relay.h"

#include <array>
#include <asio.hpp>
#include <map>
#include <mutex>

#include "tests/peers/loopback_server.h"

namespace revizer::peers {
namespace {

using asio::ip::tcp;

struct Link {
  explicit Link(tcp::socket c) : client(std::move(c)), upstream(client.get_executor()) {}
  void close() {
    asio::error_code ignored;
    client.close(ignored);
    upstream.close(ignored);
  }
  tcp::socket client;
  tcp::socket upstream;
  H2RequestReader reader;
  std::optional<HeaderList> last_request;  // guarded by the relay's lock
};

}  // namespace

struct H2Relay::State {
  State(std::uint16_t upstream, std::uint16_t port)
      : upstream_port(upstream), server([this](tcp::socket socket) { return serve(std::move(socket)); }, port) {}

  asio::awaitable<void> serve(tcp::socket client) {
    auto link = std::make_shared<Link>(std::move(client));
    asio::error_code ec;
    co_await link->upstream.async_connect(tcp::endpoint(asio::ip::address_v4::loopback(), upstream_port),
                                          asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    // Small gRPC frames must not wait for acknowledgements on either leg.
    link->client.set_option(tcp::no_delay(true), ec);
    link->upstream.set_option(tcp::no_delay(true), ec);
    const std::uint16_t name = link->upstream.local_endpoint(ec).port();
    {
      std::lock_guard hold(lock);
      links[name] = link;
    }
    asio::co_spawn(co_await asio::this_coro::executor, pump(link, link->upstream, link->client, false),
                   asio::detached);
    co_await pump(link, link->client, link->upstream, true);
    std::lock_guard hold(lock);
    if (auto found = links.find(name); found != links.end() && found->second.lock() == link) links.erase(found);
  }

  // Copies one direction until either side ends, then closes both. Requests
  // are read before they are passed on, so a server that asks about a call
  // finds its headers already kept.
  asio::awaitable<void> pump(std::shared_ptr<Link> link, tcp::socket& from, tcp::socket& to, bool from_client) {
    std::array<char, 16384> buffer;
    for (;;) {
      asio::error_code ec;
      const std::size_t n = co_await from.async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) break;
      if (from_client) keep(*link, link->reader.feed({buffer.data(), n}));
      co_await asio::async_write(to, asio::buffer(buffer.data(), n), asio::redirect_error(asio::use_awaitable, ec));
      if (ec) break;
    }
    link->close();
  }

  void keep(Link& link, std::vector<RequestHeaders> seen) {
    if (seen.empty()) return;
    std::lock_guard hold(lock);
    for (RequestHeaders& request : seen) {
      link.last_request = request.headers;
      all.push_back(std::move(request));
    }
  }

  std::shared_ptr<Link> find(std::uint16_t name) const {
    std::lock_guard hold(lock);
    auto found = links.find(name);
    return found == links.end() ? nullptr : found->second.lock();
  }

  const std::uint16_t upstream_port;
  mutable std::mutex lock;
  // The sessions own their links; these are only looked up.
  std::map<std::uint16_t, std::weak_ptr<Link>> links;
  std::vector<RequestHeaders> all;
  LoopbackServer server;
};

H2Relay::H2Relay(std::uint16_t upstream_port, std::uint16_t port)
    : state_(std::make_unique<State>(upstream_port, port)) {}
H2Relay::~H2Relay() = default;

std::uint16_t H2Relay::port() const { return state_->server.port(); }

std::vector<RequestHeaders> H2Relay::requests() const {
  std::lock_guard hold(state_->lock);
  return state_->all;
}

std::optional<HeaderList> H2Relay::last_request_on(std::uint16_t upstream_port) const {
  auto link = state_->find(upstream_port);
  if (!link) return std::nullopt;
  std::lock_guard hold(state_->lock);
  return link->last_request;
}

bool H2Relay::drop(std::uint16_t upstream_port) {
  auto link = state_->find(upstream_port);
  if (!link) return false;
  asio::post(state_->server.executor(), [link] { link->close(); });
  return true;
}

}  // namespace revizer::peers
