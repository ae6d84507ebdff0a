#pragma once

// A blocking HTTP(S) exchange through libcurl, for the few requests the
// identity-token fetch makes (the metadata server, the service-account token
// exchange). Every exchange is bounded: 10 s to connect, 30 s in all.

#include <string>
#include <vector>

#include "support/result.h"

namespace revizer::common::google {

struct HttpRequest {
  std::string url;
  std::vector<std::string> headers;  // "Name: value"
  std::string form_body;             // POSTed as a form when not empty
  bool bypass_proxy = false;         // the metadata server is always direct
};

struct HttpReply {
  long status = 0;
  std::string body;
};

// Fails with libcurl's description of a transport failure, a time-out included.
Result<HttpReply, std::string> http_fetch(const HttpRequest& request);

// Percent-encodes `text` for a query or form value.
std::string url_escape(const std::string& text);

}  // namespace revizer::common::google
