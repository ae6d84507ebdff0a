#include "tests/peers/openssl_tls_server.h"

#include <charconv>

namespace revizer::peers {

OpensslTlsServer::OpensslTlsServer(const std::string& cert, const std::string& key, const std::string& alpn) {
  std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", cert, "-key", key};
  if (!alpn.empty()) argv.insert(argv.end(), {"-alpn", alpn});
  process_ = std::make_unique<PeerProcess>(argv);
  // It announces its port as "ACCEPT 127.0.0.1:<port>" once it listens.
  while (auto line = process_->read_line(std::chrono::seconds(20))) {
    constexpr std::string_view kAccept = "ACCEPT 127.0.0.1:";
    if (!line->starts_with(kAccept)) continue;
    unsigned port = 0;
    const char* first = line->data() + kAccept.size();
    const auto [end, ec] = std::from_chars(first, line->data() + line->size(), port);
    if (ec == std::errc() && port <= 65535) port_ = static_cast<std::uint16_t>(port);
    break;
  }
}

}  // namespace revizer::peers
