#pragma once

// Choosing the HTTP CONNECT proxy for one connect from the environment:
// no_proxy/NO_PROXY first, then https_proxy/HTTPS_PROXY (https endpoints) or
// http_proxy/HTTP_PROXY (others), then all_proxy/ALL_PROXY. Only plain
// http:// proxies without credentials are accepted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/proxy/proxy_error.h"
#include "support/result.h"

namespace revizer::common {

struct ProxyConfig {
  std::string host;  // as the URL parser gives it (IPv6 keeps its brackets)
  std::uint16_t port = 80;

  bool operator==(const ProxyConfig&) const = default;
};

// Nothing when the endpoint connects directly; an error is always
// `InvalidConfiguration` naming the variable whose value was used.
Result<std::optional<ProxyConfig>, ProxyError> proxy_from_env(std::string_view scheme, std::string_view host);

}  // namespace revizer::common
