#pragma once

// A TCP server on a loopback port that sends every byte back.

#include <cstdint>
#include <memory>

namespace revizer::peers {

class LoopbackServer;

class EchoServer {
 public:
  EchoServer();
  ~EchoServer();
  std::uint16_t port() const;

 private:
  std::unique_ptr<LoopbackServer> server_;
};

}  // namespace revizer::peers
