#include "common/proxy/proxy_config.h"

#include <array>

#include "common/env/process_env.h"
#include "common/proxy/proxy_url.h"
#include "text/ascii.h"
#include "text/white_space.h"

namespace revizer::common {
namespace {

struct Found {
  std::string_view name;
  std::string value;
};

template <std::size_t N>
std::optional<Found> first_present(const std::array<std::string_view, N>& names) {
  for (const std::string_view name : names) {
    auto value = env_read_text(name);
    if (value && !value->empty()) return Found{name, std::move(*value)};
  }
  return std::nullopt;
}

// An IPv6 host without its square brackets ("::1" for "[::1]"), as users
// write the address in the list; empty for any other host.
std::string_view bare_ipv6(std::string_view host) {
  if (host.size() < 2 || host.front() != '[' || host.back() != ']') return {};
  return host.substr(1, host.size() - 2);
}

bool bypassed(std::string_view list, std::string_view endpoint_host) {
  const std::string host = unicode::ascii_lower(endpoint_host);
  const std::string_view bare = bare_ipv6(host);
  for (std::size_t start = 0; start <= list.size();) {
    const auto comma = list.find(',', start);
    const std::string_view raw = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    start = comma == std::string_view::npos ? list.size() + 1 : comma + 1;
    std::string_view item = unicode::trim_white_space(raw);
    if (item.empty()) continue;
    if (item == "*") return true;
    if (item.front() == '.') item.remove_prefix(1);
    const std::string domain = unicode::ascii_lower(item);
    if (host == domain || (!bare.empty() && bare == domain)) return true;
    if (host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

}  // namespace

Result<std::optional<ProxyConfig>, ProxyError> proxy_from_env(std::string_view scheme, std::string_view host) {
  if (auto list = first_present(std::array<std::string_view, 2>{"no_proxy", "NO_PROXY"})) {
    if (bypassed(list->value, host)) return std::optional<ProxyConfig>();
  }
  const auto chosen = scheme == "https"
                          ? first_present(std::array<std::string_view, 4>{"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                          : first_present(std::array<std::string_view, 4>{"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"});
  if (!chosen) return std::optional<ProxyConfig>();

  const std::string variable(chosen->name);
  const auto invalid = [&](std::string reason) { return fail(ProxyError::invalid_configuration(variable, std::move(reason))); };
  const std::string text = chosen->value.find("://") != std::string::npos ? chosen->value : "http://" + chosen->value;
  auto url = url::parse_authority_url(text);
  if (!url) return invalid(std::move(url).error());
  if (url->scheme != "http") {
    return invalid("unsupported proxy scheme '" + url->scheme + "' (only http:// CONNECT proxies are supported)");
  }
  if (!url->username.empty() || !url->password.empty()) {
    return invalid("proxy authentication is unsupported; configure an unauthenticated http:// proxy");
  }
  if (!url->host) return invalid("proxy URL has no host");
  return std::optional(ProxyConfig{std::move(*url->host), url->port.value_or(80)});
}

}  // namespace revizer::common
