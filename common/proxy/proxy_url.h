#pragma once

// The parts of an absolute URL that choosing a proxy needs, parsed by the
// WHATWG URL Standard's rules (scheme and host lower-cased, international
// names in ASCII form, IPv4 in dotted-decimal form). Path, query and fragment
// are not examined.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/result.h"

namespace revizer::common::url {

struct AuthorityUrl {
  std::string scheme;
  std::string username;
  std::string password;  // an empty password counts as none
  std::optional<std::string> host;
  std::optional<std::uint16_t> port;  // absent when not written or the scheme's default
};

// Fails with the parser's text: "empty host", "invalid international domain
// name", "invalid port number", "invalid IPv4 address", "invalid IPv6
// address", "invalid domain character", "relative URL without a base" or
// "URLs more than 4 GB are not supported".
Result<AuthorityUrl, std::string> parse_authority_url(std::string_view input);

}  // namespace revizer::common::url
