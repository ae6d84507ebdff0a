#include "revizer/client/connect/endpoint_uri.h"

#include <algorithm>

namespace revizer::client {
namespace {

constexpr std::size_t kMaxUriLength = 65534;
constexpr std::size_t kMaxSchemeLength = 64;

bool is_scheme_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Bytes a URI may hold at all (RFC 3986 unreserved, reserved and '%').
bool is_uri_char(unsigned char c) {
  if (c >= 0x80 || c <= 0x20 || c == 0x7f) return false;
  return std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) == std::string_view::npos;
}

bool is_authority_char(char c) {
  return is_scheme_char(c) || std::string_view("_~%!$&'()*+,;=:@[]").find(c) != std::string_view::npos;
}

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// host[:port], possibly after "userinfo@"; an IPv6 host in brackets.
Result<EndpointUri, std::string> parse_authority(std::string_view authority, EndpointUri uri) {
  if (authority.empty()) return fail(std::string("invalid format"));
  for (char c : authority) {
    if (!is_authority_char(c)) return fail(std::string("invalid authority"));
  }
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority;
  std::string_view port;
  if (authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return fail(std::string("invalid authority"));
    host = authority.substr(0, close + 1);
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return fail(std::string("invalid authority"));
      port = rest.substr(1);
    }
  } else if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
    if (port.find(':') != std::string_view::npos) return fail(std::string("invalid authority"));
  }
  if (host.find_first_of("[]") != std::string_view::npos && host.front() != '[') return fail(std::string("invalid authority"));
  if (!port.empty()) {
    unsigned value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return fail(std::string("invalid port"));
      value = value * 10 + static_cast<unsigned>(c - '0');
      if (value > 65535) return fail(std::string("invalid port"));
    }
    uri.port = static_cast<std::uint16_t>(value);
  }
  uri.host = std::string(host);
  return uri;
}

}  // namespace

Result<EndpointUri, std::string> parse_endpoint_uri(std::string_view text) {
  if (text.empty()) return fail(std::string("empty string"));
  if (text.size() > kMaxUriLength) return fail(std::string("uri too long"));
  for (unsigned char c : text) {
    if (!is_uri_char(c)) return fail(std::string("invalid uri character"));
  }
  if (text.front() == '/' || text == "*") return EndpointUri{};

  EndpointUri uri;
  std::string_view rest = text;
  if (const auto colon = text.find("://"); colon != std::string_view::npos &&
                                           std::all_of(text.begin(), text.begin() + colon, is_scheme_char)) {
    if (colon > kMaxSchemeLength) return fail(std::string("scheme too long"));
    if (colon == 0) return fail(std::string("invalid scheme"));
    const std::string_view scheme = text.substr(0, colon);
    const std::string lowered = lower(scheme);
    uri.scheme = (lowered == "http" || lowered == "https") ? lowered : std::string(scheme);
    rest = text.substr(colon + 3);
    const auto end = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, end);
    if (authority.empty()) return fail(std::string("invalid format"));
    return parse_authority(authority, std::move(uri));
  }
  // No scheme: the whole text must be an authority.
  if (rest.find_first_of("/?#") != std::string_view::npos) return fail(std::string("invalid format"));
  return parse_authority(rest, std::move(uri));
}

}  // namespace revizer::client
