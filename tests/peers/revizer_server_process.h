#pragma once

// revizer_test_server (the gRPC C++ library's server of RevizerService, with
// the behaviours of tests/peers/README.md) started as a child process for one
// test or benchmark, and stopped with it.

#include <cstdint>
#include <memory>
#include <string>

#include "tests/peers/peer_process.h"

namespace revizer::peers {

struct RevizerServerOptions {
  // The gRPC server listens on the port itself, without the relay that reads
  // "grpc-timeout" and serves behave:close-connection (benchmarks).
  bool direct = false;
  // PEM files: TLS when both are given.
  std::string tls_cert = {};
  std::string tls_key = {};
  // The grpcio server (grpcio_server.py in the project's Python) in place of
  // the gRPC C++ one.
  bool grpcio = false;
  // 0: the server picks.
  std::uint16_t port = 0;
  // The streams the server grants each connection; 0: the library's
  // default. The gRPC C++ server only.
  int max_concurrent_streams = 0;
};

class RevizerServerProcess {
 public:
  explicit RevizerServerProcess(const RevizerServerOptions& options = {});

  // Whether it came up and printed its port.
  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  std::unique_ptr<PeerProcess> process_;
  std::uint16_t port_ = 0;
};

}  // namespace revizer::peers
