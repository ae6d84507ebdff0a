#pragma once

// The endpoint text read as a URI the way the channel needs it: a scheme
// with an authority ("http://host:port/path"), an authority alone
// ("host:port"), or a path alone ("/path"). Errors are the URI parser's own
// texts ("invalid uri character", "invalid port", ...).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/result.h"

namespace revizer::client {

struct EndpointUri {
  std::optional<std::string> scheme;  // "http"/"https" lower-cased, others as written
  std::optional<std::string> host;    // absent for a path alone; IPv6 keeps its brackets
  std::optional<std::uint16_t> port;
};

Result<EndpointUri, std::string> parse_endpoint_uri(std::string_view text);

}  // namespace revizer::client
