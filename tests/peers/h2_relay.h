#pragma once

// A TCP relay on a loopback port in front of a gRPC server on another. It
// passes bytes both ways unchanged, keeps the request headers of plain
// HTTP/2 connections as the client sent them, and can drop a connection
// while a call is in flight, which a gRPC server library cannot do.
// Connections are named by the local port of the relay's own connection to
// the server, the client port that the server sees as its peer.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "tests/peers/h2_request_reader.h"

namespace revizer::peers {

class H2Relay {
 public:
  // Listens on `port` (0: a port of its own choice) and relays to 127.0.0.1:`upstream_port`.
  explicit H2Relay(std::uint16_t upstream_port, std::uint16_t port = 0);
  ~H2Relay();
  H2Relay(const H2Relay&) = delete;
  H2Relay& operator=(const H2Relay&) = delete;

  std::uint16_t port() const;
  // Every request header block seen so far, on all connections, in arrival order.
  std::vector<RequestHeaders> requests() const;
  // The headers of the last request on that connection; none for a
  // connection that is gone, has sent no request yet or is not plain HTTP/2.
  std::optional<HeaderList> last_request_on(std::uint16_t upstream_port) const;
  // Closes both sides of that connection; false when there is no such connection.
  bool drop(std::uint16_t upstream_port);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace revizer::peers
