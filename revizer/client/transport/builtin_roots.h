#pragma once

// The public web roots compiled into the library (PEM certificates), made at
// build time from Debian's ca-certificates bundle.

#include <string_view>

namespace revizer::client {

std::string_view builtin_roots_pem();

}  // namespace revizer::client
