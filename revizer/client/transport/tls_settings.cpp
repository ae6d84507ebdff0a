#include "revizer/client/transport/tls_settings.h"

#include <asio/redirect_error.hpp>
#include <asio/ssl/error.hpp>
#include <asio/use_awaitable.hpp>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <vector>

#include "common/error/asio_error.h"
#include "revizer/client/crypto_provider.h"
#include "revizer/client/transport/builtin_roots.h"

namespace revizer::client {
namespace {

constexpr unsigned char kAlpnH2[] = {2, 'h', '2'};

// The built-in roots, parsed once; the certificates are kept for the life of
// the process and shared by every store they are added to.
const std::vector<X509*>& builtin_roots() {
  static const std::vector<X509*>* const roots = [] {
    auto* list = new std::vector<X509*>();
    const std::string_view pem = builtin_roots_pem();
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) list->push_back(cert);
    ERR_clear_error();  // the end of the bundle reads as an error
    BIO_free(bio);
    return list;
  }();
  return *roots;
}

std::string openssl_error_text() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown TLS library error";
  char buffer[256];
  ERR_error_string_n(code, buffer, sizeof buffer);
  return buffer;
}

std::string handshake_error_text(SSL* ssl, const asio::error_code& ec) {
  const long verify = SSL_get_verify_result(ssl);
  if (verify != X509_V_OK) return std::string("invalid peer certificate: ") + X509_verify_cert_error_string(verify);
  return common::io_error_from(ec).text;
}

std::string strip_brackets(std::string host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

}  // namespace

Result<std::shared_ptr<TlsSettings>, std::string> TlsSettings::build() {
  install_default_crypto_provider();
  asio::error_code ec;
  asio::ssl::context context(asio::ssl::context::tls_client);
  SSL_CTX* ctx = context.native_handle();
  if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) return fail(openssl_error_text());
  context.set_options(asio::ssl::context::no_compression, ec);
  // OpenSSL's default paths honour SSL_CERT_FILE and SSL_CERT_DIR, else the OS bundle.
  if (SSL_CTX_set_default_verify_paths(ctx) != 1) ERR_clear_error();
  X509_STORE* store = SSL_CTX_get_cert_store(ctx);
  for (X509* root : builtin_roots()) {
    if (X509_STORE_add_cert(store, root) != 1) ERR_clear_error();  // already there from the system set
  }
  context.set_verify_mode(asio::ssl::verify_peer, ec);
  if (ec) return fail(ec.message());
  if (SSL_CTX_set_alpn_protos(ctx, kAlpnH2, sizeof kAlpnH2) != 0) return fail(openssl_error_text());
  return std::make_shared<TlsSettings>(std::move(context));
}

asio::awaitable<Result<Transport, TransportFailure>> TlsSettings::handshake(asio::ip::tcp::socket socket, std::string host) {
  auto stream = std::make_unique<Transport::TlsStream>(std::move(socket), context_);
  SSL* ssl = stream->native_handle();
  const std::string name = strip_brackets(std::move(host));
  asio::error_code ec;
  asio::ip::make_address(name, ec);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (!ec) {
    // Addresses are matched against the certificate's IP entries and get no SNI.
    X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, name.c_str());
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    X509_VERIFY_PARAM_set1_host(param, name.c_str(), name.size());
  }
  ec.clear();
  co_await stream->async_handshake(asio::ssl::stream_base::client, asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return fail(TransportFailure{{"tls handshake error", handshake_error_text(ssl, ec)}});
  const unsigned char* selected = nullptr;
  unsigned int length = 0;
  SSL_get0_alpn_selected(ssl, &selected, &length);
  if (length != 2 || selected[0] != 'h' || selected[1] != '2') {
    co_return fail(TransportFailure{{"the server did not select the h2 protocol by ALPN"}});
  }
  co_return Transport(std::move(stream));
}

}  // namespace revizer::client
