#include "common/proxy/proxy_url.h"

#include <array>
#include <cstdint>

#include "common/proxy/url_host.h"
#include "text/ascii.h"

namespace revizer::common::url {
namespace {

struct SpecialScheme {
  std::string_view name;
  std::optional<std::uint16_t> default_port;
};
constexpr std::array<SpecialScheme, 6> kSpecialSchemes{{
    {"http", 80}, {"https", 443}, {"ws", 80}, {"wss", 443}, {"ftp", 21}, {"file", std::nullopt}}};

const SpecialScheme* special_scheme(std::string_view scheme) {
  for (const auto& special : kSpecialSchemes) {
    if (special.name == scheme) return &special;
  }
  return nullptr;
}

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Leading and trailing C0 controls and spaces go; tabs and line ends anywhere.
std::string clean_input(std::string_view input) {
  while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) input.remove_prefix(1);
  while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) input.remove_suffix(1);
  std::string out;
  for (const char c : input) {
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  }
  return out;
}

Result<std::optional<std::uint16_t>, std::string> parse_port(std::string_view text, const SpecialScheme* special) {
  if (text.empty()) return std::optional<std::uint16_t>();
  std::uint32_t port = 0;
  for (const char c : text) {
    if (!is_digit(c)) return fail(std::string("invalid port number"));
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
    if (port > 65535) return fail(std::string("invalid port number"));
  }
  if (special && special->default_port == port) return std::optional<std::uint16_t>();
  return std::optional(static_cast<std::uint16_t>(port));
}

Status<std::string> parse_authority(std::string_view authority, const SpecialScheme* special, AuthorityUrl& url) {
  // The last "@" ends the user information.
  const auto at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view userinfo = authority.substr(0, at);
    const auto colon = userinfo.find(':');
    url.username = std::string(userinfo.substr(0, colon));
    if (colon != std::string_view::npos) url.password = std::string(userinfo.substr(colon + 1));
    authority.remove_prefix(at + 1);
  }
  // A ":" outside brackets starts the port.
  bool in_brackets = false;
  std::size_t colon = std::string_view::npos;
  for (std::size_t i = 0; i < authority.size(); ++i) {
    if (authority[i] == '[') in_brackets = true;
    else if (authority[i] == ']') in_brackets = false;
    else if (authority[i] == ':' && !in_brackets) {
      colon = i;
      break;
    }
  }
  const std::string_view host_text = authority.substr(0, colon);
  if (host_text.empty() && (special || colon != std::string_view::npos || at != std::string_view::npos)) {
    return fail(std::string("empty host"));
  }
  auto host = special ? parse_special_host(host_text) : parse_opaque_host(host_text);
  if (!host) return fail(std::move(host).error());
  url.host = std::move(*host);
  if (colon != std::string_view::npos) {
    auto port = parse_port(authority.substr(colon + 1), special);
    if (!port) return fail(std::move(port).error());
    url.port = *port;
  }
  return Ok{};
}

}  // namespace

Result<AuthorityUrl, std::string> parse_authority_url(std::string_view raw) {
  if (raw.size() > UINT32_MAX) return fail(std::string("URLs more than 4 GB are not supported"));
  const std::string input = clean_input(raw);
  const auto no_base = [] { return fail(std::string("relative URL without a base")); };

  if (input.empty() || !is_alpha(input.front())) return no_base();
  std::size_t end = 1;
  while (end < input.size() && (is_alpha(input[end]) || is_digit(input[end]) || input[end] == '+' ||
                                input[end] == '-' || input[end] == '.')) {
    ++end;
  }
  if (end == input.size() || input[end] != ':') return no_base();

  AuthorityUrl url;
  url.scheme = input.substr(0, end);
  unicode::ascii_lower_in_place(url.scheme);
  std::string_view rest = std::string_view(input).substr(end + 1);
  const SpecialScheme* special = special_scheme(url.scheme);

  std::string_view terminators = "/?#";
  if (special) {
    // Special schemes take any run of slashes and backslashes before the host.
    terminators = "/\\?#";
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
    if (!special->default_port && url.scheme == "file") {
      // A file URL's host is optional and has no port or user information.
      const std::string_view host_text = rest.substr(0, rest.find_first_of(terminators));
      if (host_text.empty()) return url;
      auto host = parse_special_host(host_text);
      if (!host) return fail(std::move(host).error());
      if (*host != "localhost") url.host = std::move(*host);
      return url;
    }
  } else if (rest.starts_with("//")) {
    rest.remove_prefix(2);
  } else {
    return url;  // no authority, hence no host
  }
  if (auto parsed = parse_authority(rest.substr(0, rest.find_first_of(terminators)), special, url); !parsed) {
    return fail(std::move(parsed).error());
  }
  return url;
}

}  // namespace revizer::common::url
