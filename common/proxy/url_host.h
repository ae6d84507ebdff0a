#pragma once

// Host parsing by the WHATWG URL Standard, as far as a proxy URL needs it:
// IPv6 in brackets, IPv4 in any of its numeric forms, and domains mapped to
// their ASCII form. The error texts are the URL parser's own.

#include <string>
#include <string_view>

#include "support/result.h"

namespace revizer::common::url {

// The host's serialised text: a lower-case ASCII domain, a dotted-decimal
// IPv4 address, or a compressed IPv6 address in brackets.
Result<std::string, std::string> parse_special_host(std::string_view input);

// The host of a URL whose scheme is not special: any text without a
// forbidden host code point, percent-escapes kept; IPv6 in brackets.
Result<std::string, std::string> parse_opaque_host(std::string_view input);

}  // namespace revizer::common::url
