#pragma once

// The failures of choosing a proxy and of building a tunnel through it.

#include <cstdint>
#include <optional>
#include <string>

#include "common/error/io_error.h"

namespace revizer::common {

struct ProxyError {
  enum class Kind {
    InvalidConfiguration,  // variable, reason
    Connect,               // host, port, source
    Send,                  // host, port, source
    Read,                  // host, port, source
    OversizedResponse,     // host, port
    ClosedDuringConnect,   // host, port
    ConnectRefused,        // host, port, target_host, target_port, status_line
  };

  Kind kind = Kind::InvalidConfiguration;
  std::string variable{};
  std::string reason{};
  std::string host{};
  std::uint16_t port = 0;
  std::optional<IoError> source{};
  std::string target_host{};
  std::uint16_t target_port = 0;
  std::string status_line{};

  static ProxyError invalid_configuration(std::string variable, std::string reason);
  static ProxyError io(Kind kind, std::string host, std::uint16_t port, IoError source);
  static ProxyError at_proxy(Kind kind, std::string host, std::uint16_t port);
  static ProxyError connect_refused(std::string host, std::uint16_t port, std::string target_host,
                                    std::uint16_t target_port, std::string status_line);

  std::string text() const;
  // The variant name and its fields in order, e.g. `Connect { host: "p", port: 3128, source: ... }`.
  std::string debug_text() const;
  // The I/O error behind Connect, Send and Read; nothing for the others.
  const IoError* cause() const { return source ? &*source : nullptr; }
};

}  // namespace revizer::common
