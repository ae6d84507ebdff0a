#include "revizer/client/channel/connect_attempt.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/co_spawn.hpp>
#include <asio/this_coro.hpp>
#include <charconv>

#include "common/env/process_env.h"
#include "common/proxy/proxy_tunnel.h"

namespace revizer::client {
namespace {

// Named in no user documentation: the test suite's way to shorten the bound.
constexpr const char* kBoundOverride = "_TAVIMOR_TEST_CONNECT_TIMEOUT_MS";

std::string authority_of(const ConnectTarget& target) {
  if (target.port) return target.host + ":" + std::to_string(*target.port);
  return target.host;
}

}  // namespace

std::chrono::milliseconds connect_attempt_bound() {
  if (auto text = common::env_read_text(kBoundOverride)) {
    std::int64_t ms = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), ms);
    if (ec == std::errc() && end == text->data() + text->size() && ms > 0) return std::chrono::milliseconds(ms);
  }
  return kConnectAttemptBound;
}

std::string attempt_timed_out_text(std::chrono::milliseconds bound) {
  const auto ms = bound.count();
  const std::string amount = ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  return "connection attempt timed out after " + amount;
}

std::shared_ptr<ConnectAttempt> ConnectAttempt::start(Strand strand, std::shared_ptr<const Connector> connector,
                                                      std::function<void(Opened)> on_done) {
  auto attempt = std::make_shared<ConnectAttempt>(strand, std::move(on_done));
  const auto bound = connect_attempt_bound();
  attempt->bound_timer_.expires_after(bound);
  attempt->bound_timer_.async_wait([attempt, bound](asio::error_code ec) {
    if (ec || !attempt->on_done_) return;
    attempt->deliver(fail(TransportFailure{{attempt_timed_out_text(bound)}}));
    attempt->stop();
  });
  // The completion handler, not asio::detached: whatever ends the coroutine,
  // an exception included, reaches `finished`, which reports it and closes a
  // half-made connection.
  asio::co_spawn(strand, attempt->run(std::move(connector)),
                 asio::bind_cancellation_slot(attempt->stop_.slot(),
                                              [attempt](std::exception_ptr error) { attempt->finished(error); }));
  return attempt;
}

void ConnectAttempt::abandon() {
  on_done_ = nullptr;
  bound_timer_.cancel();
  stop();
}

void ConnectAttempt::stop() {
  if (!running_) return;
  stop_.emit(asio::cancellation_type::terminal);
  // In the HTTP/2 handshake the connection owns the socket: closing it ends
  // the handshake whether or not the wait heeded the cancellation.
  if (connection_) connection_->close("the connection attempt was abandoned");
}

asio::awaitable<void> ConnectAttempt::run(std::shared_ptr<const Connector> connector) {
  // Cancellation is looked at between the steps; nothing throws for it.
  co_await asio::this_coro::throw_if_cancelled(false);
  auto transport = co_await connector->connect();
  if (!transport) {
    failure_ = std::move(transport).error();
    co_return;
  }
  if (co_await common::cancellation_requested()) co_return;  // the transport closes here
  connection_ = Http2Connection::start(strand_, std::move(*transport), authority_of(connector->target()),
                                       connector->target().scheme == "https" ? "https" : "http");
  auto handshake = co_await connection_->handshake();
  if (!handshake) failure_ = std::move(handshake).error();
}

void ConnectAttempt::finished(std::exception_ptr error) {
  running_ = false;
  bound_timer_.cancel();
  const bool ready = connection_ && !failure_ && !error && on_done_;
  if (!ready) {
    if (connection_) connection_->close("the connection attempt ended");
    connection_.reset();
  }
  if (!on_done_) return;
  if (ready) {
    deliver(std::move(connection_));
  } else if (failure_) {
    deliver(fail(std::move(*failure_)));
  } else {
    // Only an exception ends the coroutine without either.
    deliver(fail(TransportFailure{{"the connection attempt ended unexpectedly"}}));
  }
}

void ConnectAttempt::deliver(Opened outcome) {
  auto done = std::move(on_done_);
  on_done_ = nullptr;
  done(std::move(outcome));
}

}  // namespace revizer::client
