// Identity tokens from Application Default Credentials, offline: a service
// account key generated here, signed by the client and verified by a local
// fake token endpoint; and a local fake metadata server.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <asio/redirect_error.hpp>
#include <chrono>
#include <functional>
#include <memory>

#include "common/auth/auth_interceptor.h"
#include "common/auth/google/google_id_token.h"
#include "tests/cpp/common/scoped_env.h"
#include "tests/peers/http_peer.h"
#include "tests/peers/loopback_server.h"

namespace revizer::common {
namespace {

using peers::HttpPeer;
using peers::PeerReply;
using peers::PeerRequest;
using testing::ScopedEnv;
using testing::TempDir;
using testing::write_text;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

std::string private_pem(EVP_PKEY* key) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string base64url_decode(std::string text) {
  for (char& c : text) c = c == '-' ? '+' : c == '_' ? '/' : c;
  const std::size_t padding = (4 - text.size() % 4) % 4;
  text.append(padding, '=');
  std::string out(text.size(), '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  out.resize(static_cast<std::size_t>(n) - padding);
  return out;
}

std::string form_value(const std::string& body, const std::string& name) {
  const auto start = body.find(name + "=");
  if (start == std::string::npos) return {};
  const auto end = body.find('&', start);
  return body.substr(start + name.size() + 1, end == std::string::npos ? std::string::npos : end - start - name.size() - 1);
}

bool verify_rs256(const std::string& jwt, EVP_PKEY* key) {
  const auto last_dot = jwt.rfind('.');
  const std::string input = jwt.substr(0, last_dot);
  const std::string signature = base64url_decode(jwt.substr(last_dot + 1));
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  return EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
         EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                          reinterpret_cast<const unsigned char*>(input.data()), input.size()) == 1;
}

std::string json_escape_newlines(std::string text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

class GoogleIdToken : public ::testing::Test {
 protected:
  GoogleIdToken() {
    env.unset("GOOGLE_APPLICATION_CREDENTIALS").unset("CLOUDSDK_CONFIG").unset("GCE_METADATA_HOST");
    env.set("HOME", home.path());
  }

  std::string key_file_json(const std::string& type, const std::string& token_uri) const {
    return "{\"type\":\"" + type + "\",\"client_email\":\"sa@p.iam.gserviceaccount.com\",\"private_key_id\":\"k1\"," +
           "\"private_key\":\"" + json_escape_newlines(private_pem(key.get())) + "\",\"token_uri\":\"" + token_uri +
           "\"}";
  }

  // A token endpoint that checks grant type, signature and claims.
  PeerReply token_endpoint(const PeerRequest& request) {
    const std::string assertion = form_value(request.body, "assertion");
    if (request.method != "POST" || form_value(request.body, "grant_type") != "urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Ajwt-bearer" ||
        !verify_rs256(assertion, key.get())) {
      return {400, "{\"error\":\"invalid_grant\"}"};
    }
    const auto first_dot = assertion.find('.');
    claims = base64url_decode(assertion.substr(first_dot + 1, assertion.rfind('.') - first_dot - 1));
    return {200, "{\"id_token\":\"id-token-1\"}"};
  }

  Key key{EVP_RSA_gen(2048)};
  TempDir home;
  ScopedEnv env;
  std::string claims;
};

TEST_F(GoogleIdToken, ServiceAccountKeyNamedByTheVariable) {
  HttpPeer peer([this](const PeerRequest& r) { return token_endpoint(r); });
  const std::string token_uri = peer.base_url() + "/token";
  write_text(home / "sa.json", key_file_json("service_account", token_uri));
  env.set("GOOGLE_APPLICATION_CREDENTIALS", home / "sa.json");

  auto token = google_id_token_blocking("https://svc.run.app");
  ASSERT_TRUE(token) << token.error();
  EXPECT_EQ(*token, "id-token-1");
  EXPECT_NE(claims.find("\"target_audience\":\"https://svc.run.app\""), std::string::npos) << claims;
  EXPECT_NE(claims.find("\"iss\":\"sa@p.iam.gserviceaccount.com\""), std::string::npos);
  EXPECT_NE(claims.find("\"aud\":\"" + token_uri + "\""), std::string::npos);
}

TEST_F(GoogleIdToken, GcloudWellKnownFileAndAnInterceptorBuiltFromIt) {
  HttpPeer peer([this](const PeerRequest& r) { return token_endpoint(r); });
  write_text(home / ".config/gcloud/application_default_credentials.json",
             key_file_json("service_account", peer.base_url() + "/token"));
  auto built = cloud_run_interceptor_from("https://svc.run.app", "key", google_id_token_blocking("https://svc.run.app"),
                                          IdentityTokenSource::system([](std::function<void()>) {}));
  ASSERT_TRUE(built);
  RequestMetadata metadata;
  ASSERT_TRUE(built->call_now(metadata));
  EXPECT_EQ(metadata.at(0).key, "authorization");
  EXPECT_EQ(metadata.at(0).value.view(), "Bearer id-token-1");
  EXPECT_EQ(peer.requests_served(), 1);  // the second use is served from the cache
}

TEST_F(GoogleIdToken, FailuresCarryAClearText) {
  HttpPeer peer([](const PeerRequest&) { return PeerReply{403, "denied"}; });
  write_text(home / "user.json", "{\"type\":\"authorized_user\",\"refresh_token\":\"r\"}");
  write_text(home / "sa.json", key_file_json("service_account", peer.base_url() + "/token"));
  write_text(home / "broken.json", "{not json");
  const std::pair<std::string, std::string> cases[] = {
      {home / "user.json", "unsupported credential type \"authorized_user\" in " + (home / "user.json") +
                               ": identity tokens for an audience need a service account key (type "
                               "\"service_account\") or the metadata server"},
      {home / "sa.json", "token endpoint " + peer.base_url() + "/token answered 403: denied"},
      {home / "broken.json", "credentials file " + (home / "broken.json") + " is not a JSON object"},
      {home / "missing.json",
       "cannot read credentials file " + (home / "missing.json") + ": No such file or directory (os error 2)"},
  };
  for (const auto& [file, text] : cases) {
    ScopedEnv local;
    local.set("GOOGLE_APPLICATION_CREDENTIALS", file);
    auto token = google_id_token_blocking("aud");
    ASSERT_FALSE(token) << file;
    EXPECT_EQ(token.error(), text);
  }
}

TEST_F(GoogleIdToken, MetadataServerWhenNoKeyFileIsFound) {
  std::string seen_target, seen_flavor;
  HttpPeer metadata([&](const PeerRequest& r) {
    seen_target = r.target;
    seen_flavor = r.headers.count("metadata-flavor") ? r.headers.at("metadata-flavor") : "";
    return PeerReply{200, "metadata-token"};
  });
  env.set("GCE_METADATA_HOST", "127.0.0.1:" + std::to_string(metadata.port()));
  auto token = google_id_token_blocking("https://svc.run.app/p?q=1");
  ASSERT_TRUE(token) << token.error();
  EXPECT_EQ(*token, "metadata-token");
  EXPECT_EQ(seen_flavor, "Google");
  EXPECT_EQ(seen_target,
            "/computeMetadata/v1/instance/service-accounts/default/identity?audience=https%3A%2F%2Fsvc.run.app%2Fp%3Fq%3D1"
            "&format=full");
}

TEST_F(GoogleIdToken, MetadataServerRefusalIsReported) {
  HttpPeer metadata([](const PeerRequest&) { return PeerReply{404, "not here"}; });
  const std::string host = "127.0.0.1:" + std::to_string(metadata.port());
  env.set("GCE_METADATA_HOST", host);
  auto built = cloud_run_interceptor_from("https://svc.run.app", "key", google_id_token_blocking("https://svc.run.app"),
                                          IdentityTokenSource::system([](std::function<void()>) {}));
  ASSERT_FALSE(built);
  EXPECT_EQ(built.error().code, GrpcCode::Unavailable);
  EXPECT_EQ(built.error().message, "Failed to fetch Cloud Run identity token: metadata server " + host + " answered 404: not here");
}

// A peer that accepts and reads but never answers stands for a stuck host.
TEST_F(GoogleIdToken, EveryExchangeEndsWithinItsBoundWhenThePeerNeverAnswers) {
  peers::LoopbackServer silent([](asio::ip::tcp::socket socket) -> asio::awaitable<void> {
    char buffer[4096];
    asio::error_code error;
    while (!error) co_await socket.async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
  });
  const std::string host = "127.0.0.1:" + std::to_string(silent.port());
  write_text(home / "sa.json", key_file_json("service_account", "http://" + host + "/token"));
  env.set("_TAVIMOR_TEST_TOKEN_FETCH_TIMEOUT_MS", "300");
  const struct {
    const char* source;
    const char* credentials;  // GOOGLE_APPLICATION_CREDENTIALS, or empty for the metadata server
    std::string prefix;
  } cases[] = {
      {"metadata server", "", "metadata server " + host + " unreachable: Operation timed out after "},
      {"token exchange", "sa.json", "token request to http://" + host + "/token failed: Operation timed out after "},
  };
  for (const auto& c : cases) {
    ScopedEnv local;
    if (*c.credentials) local.set("GOOGLE_APPLICATION_CREDENTIALS", home / c.credentials);
    else local.set("GCE_METADATA_HOST", host);
    const auto started = std::chrono::steady_clock::now();
    auto token = google_id_token_blocking("https://svc.run.app");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(token) << c.source;
    EXPECT_EQ(token.error().rfind(c.prefix, 0), 0u) << token.error();
    EXPECT_LT(took, std::chrono::seconds(10)) << c.source;
  }
}

}  // namespace
}  // namespace revizer::common
