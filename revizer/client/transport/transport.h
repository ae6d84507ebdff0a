#pragma once

// The byte stream under one HTTP/2 connection: a TCP socket (direct or a
// CONNECT tunnel) or a TLS stream over one. The HTTP/2 code sees only this.

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ssl/stream.hpp>
#include <asio/write.hpp>
#include <cstddef>
#include <memory>
#include <utility>

namespace revizer::client {

class Transport {
 public:
  using TlsStream = asio::ssl::stream<asio::ip::tcp::socket>;

  explicit Transport(asio::ip::tcp::socket socket) : tcp_(std::move(socket)) {}
  explicit Transport(std::unique_ptr<TlsStream> tls) : tcp_(tls->get_executor()), tls_(std::move(tls)) {}

  // Suspends until some bytes arrive; `ec` reports the end of the stream or a failure.
  asio::awaitable<std::size_t> read_some(asio::mutable_buffer buffer, asio::error_code& ec);
  // Writes the whole buffer; `handler(ec, bytes)` as for asio::async_write
  // (with the handler's executor and continuation hint). `condition(ec,
  // bytes_so_far)` is asked after every part written, as asio::async_write
  // asks it (on the handler's executor): a large write reports its progress
  // through it.
  template <class Condition, class Handler>
  void async_write(asio::const_buffer buffer, Condition condition, Handler&& handler) {
    if (tls_) {
      asio::async_write(*tls_, buffer, std::move(condition), std::forward<Handler>(handler));
    } else {
      asio::async_write(tcp_, buffer, std::move(condition), std::forward<Handler>(handler));
    }
  }
  // Ends pending operations and the connection; no TLS close_notify is sent.
  void close();

 private:
  asio::ip::tcp::socket& socket() { return tls_ ? tls_->next_layer() : tcp_; }

  asio::ip::tcp::socket tcp_;
  std::unique_ptr<TlsStream> tls_;  // held by pointer: its address must not move
};

}  // namespace revizer::client
