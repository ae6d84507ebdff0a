#include "tests/peers/revizer_server_process.h"

#include <charconv>

namespace revizer::peers {

RevizerServerProcess::RevizerServerProcess(const RevizerServerOptions& options) {
  std::vector<std::string> argv = {REVIZER_TEST_SERVER_PATH};
  if (options.grpcio) argv = {REVIZER_PYTHON, REVIZER_GRPCIO_SERVER_PATH};
  if (options.port != 0) argv.insert(argv.end(), {"--port", std::to_string(options.port)});
  if (options.direct) argv.push_back("--direct");
  if (options.max_concurrent_streams > 0) {
    argv.insert(argv.end(), {"--max-concurrent-streams", std::to_string(options.max_concurrent_streams)});
  }
  if (!options.tls_cert.empty()) argv.insert(argv.end(), {"--tls-cert", options.tls_cert, "--tls-key", options.tls_key});
  process_ = std::make_unique<PeerProcess>(argv);
  const auto line = process_->read_line(std::chrono::seconds(20));
  if (!line) return;
  unsigned port = 0;
  const auto [end, ec] = std::from_chars(line->data(), line->data() + line->size(), port);
  if (ec == std::errc() && end == line->data() + line->size() && port <= 65535) port_ = static_cast<std::uint16_t>(port);
}

}  // namespace revizer::peers
