#pragma once

// Google identity tokens from Application Default Credentials:
//   1. the key file named by GOOGLE_APPLICATION_CREDENTIALS, else
//   2. gcloud's well-known file ($CLOUDSDK_CONFIG or ~/.config/gcloud,
//      "application_default_credentials.json") when it exists, else
//   3. the metadata server's identity endpoint (GCE_METADATA_HOST overrides
//      its host).
// A key file must be a service-account key: its RS256-signed assertion is
// exchanged at the key's token_uri for an identity token for the audience.

#include <string>

#include "support/result.h"

namespace revizer::common {

// The identity token text, or a description of what failed. Blocks the
// calling thread until the exchange has finished.
Result<std::string, std::string> google_id_token_blocking(const std::string& audience);

}  // namespace revizer::common
