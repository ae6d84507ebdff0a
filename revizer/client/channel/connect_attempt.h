#pragma once

// One attempt at a connection: TCP (or the proxy tunnel), TLS, then the
// HTTP/2 handshake, run as its own coroutine on the channel's strand. The
// channel does not wait on the coroutine itself: it learns the outcome
// through `on_done`, and may give up on an attempt first (its bound passed,
// the channel closed, the first connect's caller cancelled). Giving up emits
// terminal cancellation, which ends the step in progress and closes the
// socket at once; a name lookup cannot be interrupted and finishes in the
// background, after which the attempt opens nothing.

#include <asio/cancellation_signal.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "revizer/client/http2/http2_connection.h"
#include "revizer/client/transport/connector.h"
#include "revizer/client/transport/transport_failure.h"

namespace revizer::client {

// gRPC's minimum connect timeout, the bound of every attempt.
inline constexpr std::chrono::milliseconds kConnectAttemptBound{20'000};

// The bound of the attempt about to start: kConnectAttemptBound, unless the
// test suite shortens it through _TAVIMOR_TEST_CONNECT_TIMEOUT_MS (read at
// each attempt; not a user setting).
std::chrono::milliseconds connect_attempt_bound();

// "connection attempt timed out after 20 s" (or "… after 300 ms").
std::string attempt_timed_out_text(std::chrono::milliseconds bound);

class ConnectAttempt : public std::enable_shared_from_this<ConnectAttempt> {
 public:
  using Strand = Http2Connection::Strand;
  using Opened = Result<std::shared_ptr<Http2Connection>, TransportFailure>;

  // Starts the attempt; `on_done` runs once on the strand with the ready
  // connection or the failure, unless `abandon` came first.
  static std::shared_ptr<ConnectAttempt> start(Strand strand, std::shared_ptr<const Connector> connector,
                                               std::function<void(Opened)> on_done);

  // Stops the attempt where it waits; its socket closes and `on_done` is not
  // called. On the strand.
  void abandon();

  explicit ConnectAttempt(Strand strand, std::function<void(Opened)> on_done)
      : strand_(std::move(strand)), on_done_(std::move(on_done)), bound_timer_(strand_) {}

 private:
  asio::awaitable<void> run(std::shared_ptr<const Connector> connector);
  void stop();
  void finished(std::exception_ptr error);
  void deliver(Opened outcome);

  Strand strand_;
  std::function<void(Opened)> on_done_;  // empty once delivered or abandoned
  asio::steady_timer bound_timer_;
  asio::cancellation_signal stop_;
  bool running_ = true;
  // The coroutine's result, read once it has ended.
  std::shared_ptr<Http2Connection> connection_;
  std::optional<TransportFailure> failure_;
};

}  // namespace revizer::client
