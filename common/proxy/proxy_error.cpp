#include "common/proxy/proxy_error.h"

namespace revizer::common {
namespace {

std::string at(const ProxyError& e) { return e.host + ":" + std::to_string(e.port); }

}  // namespace

ProxyError ProxyError::invalid_configuration(std::string variable, std::string reason) {
  ProxyError e{Kind::InvalidConfiguration};
  e.variable = std::move(variable);
  e.reason = std::move(reason);
  return e;
}

ProxyError ProxyError::io(Kind kind, std::string host, std::uint16_t port, IoError source) {
  ProxyError e = at_proxy(kind, std::move(host), port);
  e.source = std::move(source);
  return e;
}

ProxyError ProxyError::at_proxy(Kind kind, std::string host, std::uint16_t port) {
  ProxyError e{kind};
  e.host = std::move(host);
  e.port = port;
  return e;
}

ProxyError ProxyError::connect_refused(std::string host, std::uint16_t port, std::string target_host,
                                       std::uint16_t target_port, std::string status_line) {
  ProxyError e = at_proxy(Kind::ConnectRefused, std::move(host), port);
  e.target_host = std::move(target_host);
  e.target_port = target_port;
  e.status_line = std::move(status_line);
  return e;
}

std::string ProxyError::text() const {
  const std::string source_text = source ? source->text : std::string();
  switch (kind) {
    case Kind::InvalidConfiguration: return "invalid proxy URL in $" + variable + ": " + reason;
    case Kind::Connect: return "failed to connect to proxy " + at(*this) + ": " + source_text;
    case Kind::Send: return "failed to send CONNECT to proxy " + at(*this) + ": " + source_text;
    case Kind::Read: return "failed to read CONNECT response from proxy " + at(*this) + ": " + source_text;
    case Kind::OversizedResponse: return "proxy " + at(*this) + " sent an oversized CONNECT response head";
    case Kind::ClosedDuringConnect: return "proxy " + at(*this) + " closed the connection during CONNECT";
    case Kind::ConnectRefused:
      return "proxy " + at(*this) + " refused CONNECT to " + target_host + ":" + std::to_string(target_port) + ": " +
             status_line;
  }
  return {};
}

std::string ProxyError::debug_text() const {
  const std::string proxy = "host: " + quote_debug(host) + ", port: " + std::to_string(port);
  const std::string io = source ? ", source: " + quote_debug(source->text) : std::string();
  switch (kind) {
    case Kind::InvalidConfiguration:
      return "InvalidConfiguration { variable: " + quote_debug(variable) + ", reason: " + quote_debug(reason) + " }";
    case Kind::Connect: return "Connect { " + proxy + io + " }";
    case Kind::Send: return "Send { " + proxy + io + " }";
    case Kind::Read: return "Read { " + proxy + io + " }";
    case Kind::OversizedResponse: return "OversizedResponse { " + proxy + " }";
    case Kind::ClosedDuringConnect: return "ClosedDuringConnect { " + proxy + " }";
    case Kind::ConnectRefused:
      return "ConnectRefused { " + proxy + ", target_host: " + quote_debug(target_host) +
             ", target_port: " + std::to_string(target_port) + ", status_line: " + quote_debug(status_line) + " }";
  }
  return {};
}

}  // namespace revizer::common
