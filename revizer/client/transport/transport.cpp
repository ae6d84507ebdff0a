#include "revizer/client/transport/transport.h"

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

namespace revizer::client {

asio::awaitable<std::size_t> Transport::read_some(asio::mutable_buffer buffer, asio::error_code& ec) {
  if (tls_) co_return co_await tls_->async_read_some(buffer, asio::redirect_error(asio::use_awaitable, ec));
  co_return co_await tcp_.async_read_some(buffer, asio::redirect_error(asio::use_awaitable, ec));
}

void Transport::close() {
  asio::error_code ignored;
  socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket().close(ignored);
}

}  // namespace revizer::client
