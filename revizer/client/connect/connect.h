#pragma once

// Connecting a client: endpoint check, proxy choice, TLS for "https://"
// endpoints, the eager first connection with the channel's queue in front
// of it, then the authorization mode (IAP token given: IAP; Cloud Run
// endpoint: identity tokens; else the bearer API token).

#include <asio/awaitable.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "revizer/client/client_state.h"
#include "revizer/client/errors/revizer_client_error.h"
#include "support/result.h"

namespace revizer::client {

struct ConnectOptions {
  std::string_view endpoint;
  std::string_view token;
  std::optional<std::string_view> iap_token;
};

// The channel lives on the executor this runs on. Every failure releases
// whatever was built, the open connection included.
asio::awaitable<Result<ClientState, RevizerClientError>> connect_with_auth(std::string endpoint, std::string token,
                                                                       std::optional<std::string> iap_token);

}  // namespace revizer::client
