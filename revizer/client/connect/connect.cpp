#include "revizer/client/connect/connect.h"

#include <asio/any_io_executor.hpp>

#include "common/proxy/proxy_config.h"
#include "common/proxy/proxy_tunnel.h"
#include "revizer/client/connect/endpoint_uri.h"
#include "revizer/client/errors/status_text.h"
#include "revizer/client/runtime/runtime.h"

namespace revizer::client {
namespace {

// What a connect dropped before it began ends with (a dropped task reports
// nothing).
constexpr const char* kConnectCancelled = "the connect was cancelled";

Unexpected<RevizerClientError> transport_failure(std::string detail) {
  return fail(RevizerClientError::transport(std::move(detail)));
}

Unexpected<RevizerClientError> auth_failure(const char* prefix, const common::GrpcStatus& status) {
  std::string detail = prefix;
  append_status_text(detail, status);
  return fail(RevizerClientError::auth(std::move(detail)));
}

}  // namespace

asio::awaitable<Result<ClientState, RevizerClientError>> connect_with_auth(std::string endpoint, std::string token,
                                                                       std::optional<std::string> iap_token) {
  auto uri = parse_endpoint_uri(endpoint);
  if (!uri) co_return transport_failure("Invalid endpoint URL '" + endpoint + "': " + uri.error());
  const std::string scheme = uri->scheme.value_or("http");
  if (!uri->host) co_return transport_failure("Endpoint URL '" + endpoint + "' has no host");

  auto proxy = common::proxy_from_env(scheme, *uri->host);
  if (!proxy) co_return transport_failure(proxy.error().text());

  std::shared_ptr<TlsSettings> tls;
  if (endpoint.starts_with("https://")) {
    auto settings = TlsSettings::build();
    if (!settings) co_return transport_failure("Failed to configure TLS for '" + endpoint + "': transport error");
    tls = std::move(*settings);
  }

  // (No temporaries share a full expression with co_await: GCC 12 frees them wrongly.)
  // Each connection is dealt a worker in turn, so that the clients of one
  // thread spread over the workers (not the connect task's strand, which
  // ends with the connect).
  const asio::any_io_executor executor = Runtime::shared().next_executor();
  Connector connector({scheme, *uri->host, uri->port}, std::move(*proxy), std::move(tls));
  auto channel = std::make_shared<Channel>(executor, std::move(connector));
  // A cancellation that landed before this point (before the task's first
  // step, during a step that does not listen for it, between two steps) is
  // recorded in the task's cancellation state but reaches no operation that
  // starts later: the connect would run to its bound with its socket open.
  // Looked at here, with no suspension before the connect's own slot
  // listens, so that one landing later reaches the connect.
  if (co_await common::cancellation_requested()) co_return transport_failure(kConnectCancelled);
  auto connected = co_await channel->connect();
  if (!connected) {
    channel->close();
    co_return transport_failure("Failed to connect to '" + endpoint + "': " + connected.error().text());
  }
  // From here on, dropping the handle closes the connection again.
  auto handle = std::make_shared<ChannelHandle>(std::move(channel));

  Result<common::AuthInterceptor, common::GrpcStatus> interceptor = fail(common::GrpcStatus{});
  const char* prefix = "";
  if (iap_token) {
    prefix = "IAP auth setup failed: ";
    interceptor = common::iap_auth_headers(*iap_token, token);
  } else if (common::is_cloud_run_endpoint(endpoint)) {
    prefix = "Cloud Run auth setup failed: ";
    // Fetched on the token-fetch pool; dropping the connect abandons the
    // wait, and one dropped before it begins does not start it.
    if (co_await common::cancellation_requested()) co_return transport_failure(kConnectCancelled);
    common::IdentityTokenSource source = pooled_identity_token_source();
    interceptor = co_await common::cloud_run_auth_interceptor(endpoint, token, std::move(source));
  } else {
    prefix = "Auth interceptor setup failed: ";
    interceptor = common::bearer_header_value(token);
  }
  if (!interceptor) co_return auth_failure(prefix, interceptor.error());
  co_return ClientState{std::move(handle), std::move(*interceptor)};
}

}  // namespace revizer::client
