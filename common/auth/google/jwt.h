#pragma once

// Signing a JSON Web Token with RS256 (OpenSSL), as a service-account key
// does to ask Google's token endpoint for an identity token.

#include <string>
#include <string_view>

#include "support/result.h"

namespace revizer::common::google {

std::string base64url(std::string_view bytes);

// "<b64url(header)>.<b64url(claims)>.<b64url(signature)>"; fails when the PEM
// key cannot be read or is not an RSA key.
Result<std::string, std::string> sign_rs256_jwt(std::string_view header_json, std::string_view claims_json,
                                                std::string_view private_key_pem);

}  // namespace revizer::common::google
