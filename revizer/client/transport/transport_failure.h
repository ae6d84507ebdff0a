#pragma once

// Why a connection could not be made: the chain of causes behind the
// channel's "transport error", outermost first, each printed after ": ".

#include <string>
#include <vector>

namespace revizer::client {

struct TransportFailure {
  std::vector<std::string> causes;

  // "transport error" followed by ": cause" for each cause.
  std::string text() const {
    std::string out = "transport error";
    for (const auto& cause : causes) out += ": " + cause;
    return out;
  }
};

}  // namespace revizer::client
