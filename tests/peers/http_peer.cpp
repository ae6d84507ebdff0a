#include "tests/peers/http_peer.h"

#include <asio.hpp>
#include <atomic>

#include "tests/peers/loopback_server.h"

namespace revizer::peers {
namespace {

using asio::ip::tcp;

PeerRequest parse_head(const std::string& head) {
  PeerRequest request;
  std::size_t line_end = head.find("\r\n");
  const std::string first = head.substr(0, line_end);
  const auto space1 = first.find(' ');
  const auto space2 = first.find(' ', space1 + 1);
  request.method = first.substr(0, space1);
  request.target = first.substr(space1 + 1, space2 - space1 - 1);
  while (line_end != std::string::npos && line_end + 2 < head.size()) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string line = head.substr(start, line_end - start);
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    request.headers[name] = value;
  }
  return request;
}

}  // namespace

struct HttpPeer::State {
  explicit State(std::function<PeerReply(const PeerRequest&)> h)
      : handler(std::move(h)), server([this](tcp::socket socket) { return serve(std::move(socket)); }) {}

  asio::awaitable<void> serve(tcp::socket socket) {
    std::string data;
    auto buffer = asio::dynamic_buffer(data);
    asio::error_code ec;
    const std::size_t head_size =
        co_await asio::async_read_until(socket, buffer, "\r\n\r\n", asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    PeerRequest request = parse_head(data.substr(0, head_size));
    data.erase(0, head_size);
    const auto length = request.headers.contains("content-length") ? std::stoul(request.headers["content-length"]) : 0;
    if (data.size() < length) {
      co_await asio::async_read(socket, buffer, asio::transfer_exactly(length - data.size()),
                                asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
    }
    request.body = data.substr(0, length);
    const PeerReply reply = handler(request);
    served.fetch_add(1);
    const std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " Peer\r\nContent-Length: " +
                            std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n" + reply.body;
    co_await asio::async_write(socket, asio::buffer(out), asio::redirect_error(asio::use_awaitable, ec));
  }

  std::function<PeerReply(const PeerRequest&)> handler;
  std::atomic<int> served{0};
  LoopbackServer server;  // last: stopped before the handler goes
};

HttpPeer::HttpPeer(std::function<PeerReply(const PeerRequest&)> handler)
    : state_(std::make_unique<State>(std::move(handler))) {}

HttpPeer::~HttpPeer() = default;

std::uint16_t HttpPeer::port() const { return state_->server.port(); }
std::string HttpPeer::base_url() const { return "http://127.0.0.1:" + std::to_string(port()); }
int HttpPeer::requests_served() const { return state_->served.load(); }

}  // namespace revizer::peers
