#pragma once

// Why a connect failed: the set-up of the transport (everything up to the
// open connection) or of the authorization, with the detail text.

#include <string>

namespace revizer::client {

struct ConnectFailure {
  enum class Kind { Transport, Auth };
  Kind kind;
  std::string detail;
};

}  // namespace revizer::client
