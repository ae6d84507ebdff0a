// Connecting against real peers: TLS with certificates made here by the
// openssl command (trusted through SSL_CERT_FILE; untrusted, wrong host, no
// "h2"), tinyproxy as a real CONNECT proxy, the scripted proxy's refusals,
// a server that drops the connection or restarts, and the connect errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/cpp/client/client_fixture.h"
#include "tests/cpp/common/scoped_env.h"
#include "tests/peers/peer_process.h"
#include "tests/peers/revizer_server_process.h"
#include "tests/peers/scripted_proxy.h"
#include "tests/peers/tinyproxy_process.h"

namespace revizer::client {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using peers::PeerProcess;
using peers::RevizerServerOptions;
using peers::RevizerServerProcess;
using peers::run_command;

// A test CA, a server certificate from it for localhost and 127.0.0.1, one
// for another name, and a self-signed one nobody trusts.
class Certificates {
 public:
  explicit Certificates(std::string dir) : dir_(std::move(dir)) {
    ok_ = openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Revizer Test CA", "-keyout",
                   path("ca.key"), "-out", path("ca.pem"), "-addext", "basicConstraints=critical,CA:TRUE",
                   "-addext", "keyUsage=critical,keyCertSign"}) &&
          issue("server", "DNS:localhost,IP:127.0.0.1") && issue("wrong", "DNS:wrong.example") &&
          openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost", "-keyout",
                   path("untrusted.key"), "-out", path("untrusted.pem"), "-addext",
                   "subjectAltName=DNS:localhost,IP:127.0.0.1"});
  }
  bool ok() const { return ok_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  static bool openssl(std::vector<std::string> args) {
    args.insert(args.begin(), "openssl");
    return run_command(args) == 0;
  }
  bool issue(const std::string& name, const std::string& names) {
    std::ofstream(path(name + ".ext")) << "subjectAltName=" << names << "\n";
    return openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name, "-keyout", path(name + ".key"), "-out",
                    path(name + ".csr")}) &&
           openssl({"x509", "-req", "-in", path(name + ".csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
                    "-CAcreateserial", "-days", "2", "-extfile", path(name + ".ext"), "-out", path(name + ".pem")});
  }
  std::string dir_;
  bool ok_ = false;
};

class ConnectPeer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new revizer::testing::TempDir();
    certificates_ = new Certificates(dir_->path());
  }
  static inline revizer::testing::TempDir* dir_ = nullptr;
  static inline Certificates* certificates_ = nullptr;
};

bool accepts_connections(std::uint16_t port, std::chrono::milliseconds patience) {
  const auto give_up = std::chrono::steady_clock::now() + patience;
  asio::io_context io;
  for (;;) {
    asio::ip::tcp::socket probe(io);
    asio::error_code ec;
    probe.connect({asio::ip::address_v4::loopback(), port}, ec);
    if (!ec) return true;
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(20ms);
  }
}

std::string error_text(const RevizerGrpcClient::Connected& connected) {
  return connected ? "<connected>" : text_of(connected.error());
}

TEST_F(ConnectPeer, TlsWithTheTestCaTrustedThroughSslCertFile) {
  ASSERT_TRUE(certificates_->ok());
  revizer::testing::ScopedEnv trust;
  trust.set("SSL_CERT_FILE", certificates_->path("ca.pem"));
  RevizerServerProcess server({.tls_cert = certificates_->path("server.pem"), .tls_key = certificates_->path("server.key")});
  ASSERT_TRUE(server.ok());
  for (const char* host : {"localhost", "127.0.0.1"}) {
    auto client = connect(std::string("https://") + host + ":" + std::to_string(server.port()));
    ASSERT_TRUE(client) << error_text(client);
    auto answers = adjudicate(*client, {event("tls")});
    ASSERT_TRUE(answers) << text_of(answers.error());
    EXPECT_EQ(answers->size(), 1u);
  }
}

TEST_F(ConnectPeer, TlsRefusals) {
  ASSERT_TRUE(certificates_->ok());
  revizer::testing::ScopedEnv trust;
  trust.set("SSL_CERT_FILE", certificates_->path("ca.pem"));
  const auto refused = [](const std::string& endpoint) {
    auto client = connect(endpoint);
    EXPECT_FALSE(client) << endpoint;
    return error_text(client);
  };
  const std::string prefix = "transport setup failed: Failed to connect to '";
  {
    RevizerServerProcess untrusted({.tls_cert = certificates_->path("untrusted.pem"), .tls_key = certificates_->path("untrusted.key")});
    ASSERT_TRUE(untrusted.ok());
    const std::string endpoint = "https://localhost:" + std::to_string(untrusted.port());
    EXPECT_EQ(refused(endpoint).rfind(prefix + endpoint + "': transport error: tls handshake error: invalid peer certificate", 0), 0u)
        << refused(endpoint);
  }
  {
    RevizerServerProcess wrong({.tls_cert = certificates_->path("wrong.pem"), .tls_key = certificates_->path("wrong.key")});
    ASSERT_TRUE(wrong.ok());
    const std::string endpoint = "https://localhost:" + std::to_string(wrong.port());
    EXPECT_EQ(refused(endpoint).rfind(prefix + endpoint + "': transport error: tls handshake error: invalid peer certificate", 0), 0u)
        << refused(endpoint);
  }
}

TEST_F(ConnectPeer, ServerThatDoesNotSelectH2) {
  ASSERT_TRUE(certificates_->ok());
  revizer::testing::ScopedEnv trust;
  trust.set("SSL_CERT_FILE", certificates_->path("ca.pem"));
  // openssl s_server: without ALPN it completes the handshake selecting
  // nothing; offered only "http/1.1" it ends the handshake with an alert.
  for (const bool http1_only : {false, true}) {
    asio::io_context probe;
    asio::ip::tcp::acceptor free_port(probe, {asio::ip::address_v4::loopback(), 0});
    const std::uint16_t port = free_port.local_endpoint().port();
    free_port.close();
    std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                                     "-cert", certificates_->path("server.pem"), "-key", certificates_->path("server.key")};
    if (http1_only) argv.insert(argv.end(), {"-alpn", "http/1.1"});
    PeerProcess server(argv);
    ASSERT_TRUE(server.read_line(10s).has_value());  // "ACCEPT"
    // s_server can say so a moment before it listens; a probe that connects
    // and leaves costs it one failed handshake, after which it accepts again.
    ASSERT_TRUE(accepts_connections(port, 10s)) << "openssl s_server did not listen on " << port;
    const std::string endpoint = "https://localhost:" + std::to_string(port);
    auto client = connect(endpoint);
    ASSERT_FALSE(client);
    const std::string prefix = "transport setup failed: Failed to connect to '" + endpoint + "': transport error: ";
    if (http1_only) {
      EXPECT_EQ(text_of(client.error()).rfind(prefix + "tls handshake error: ", 0), 0u) << text_of(client.error());
    } else {
      EXPECT_EQ(text_of(client.error()), prefix + "the server did not select the h2 protocol by ALPN");
    }
  }
}

TEST_F(ConnectPeer, CallsThroughTinyproxyPlainAndTls) {
  ASSERT_TRUE(certificates_->ok());
  revizer::testing::TempDir dir;
  peers::TinyproxyProcess proxy(dir.path());
  revizer::testing::ScopedEnv clean;
  for (const char* name : {"no_proxy", "NO_PROXY", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) clean.unset(name);
  ASSERT_TRUE(proxy.ok());
  revizer::testing::ScopedEnv trust;
  trust.set("SSL_CERT_FILE", certificates_->path("ca.pem"));
  revizer::testing::ScopedEnv http_proxy;
  http_proxy.set("http_proxy", "127.0.0.1:" + std::to_string(proxy.port()));
  revizer::testing::ScopedEnv https_proxy;
  https_proxy.set("https_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));
  RevizerServerProcess plain;
  RevizerServerProcess tls({.tls_cert = certificates_->path("server.pem"), .tls_key = certificates_->path("server.key")});
  ASSERT_TRUE(plain.ok() && tls.ok());
  for (const std::string& endpoint : {"http://" + plain.address(), "https://localhost:" + std::to_string(tls.port())}) {
    auto client = connect(endpoint);
    ASSERT_TRUE(client) << endpoint << ": " << error_text(client);
    auto answers = adjudicate(*client, {event("proxied")});
    ASSERT_TRUE(answers) << endpoint << ": " << text_of(answers.error());
  }
}

TEST_F(ConnectPeer, ProxyRefusalsReachTheCallerWithTheProxyTexts) {
  revizer::testing::ScopedEnv clean;
  for (const char* name : {"no_proxy", "NO_PROXY", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) clean.unset(name);
  peers::ScriptedProxy proxy("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
                             peers::ScriptedProxy::Then::Close);
  revizer::testing::ScopedEnv http_proxy;
  http_proxy.set("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));
  auto client = connect("http://127.0.0.1:9");
  ASSERT_FALSE(client);
  const std::string at = "127.0.0.1:" + std::to_string(proxy.port());
  EXPECT_EQ(text_of(client.error()),
            "transport setup failed: Failed to connect to 'http://127.0.0.1:9': transport error: proxy " + at +
                " refused CONNECT to 127.0.0.1:9: HTTP/1.1 407 Proxy Authentication Required");

  revizer::testing::ScopedEnv bad;
  bad.set("http_proxy", "socks5://127.0.0.1:1080");
  auto invalid = connect("http://127.0.0.1:9");
  ASSERT_FALSE(invalid);
  EXPECT_EQ(text_of(invalid.error()),
            "transport setup failed: invalid proxy URL in $http_proxy: unsupported proxy scheme 'socks5' (only http:// "
            "CONNECT proxies are supported)");
}

TEST_F(ConnectPeer, ConnectErrors) {
  const struct {
    std::string endpoint;
    std::string error;
  } cases[] = {
      {"", "transport setup failed: Invalid endpoint URL '': empty string"},
      {"/only/a/path", "transport setup failed: Endpoint URL '/only/a/path' has no host"},
      {"http://exa mple", "transport setup failed: Invalid endpoint URL 'http://exa mple': invalid uri character"},
      {"HTTPS://127.0.0.1:9",
       "transport setup failed: Failed to connect to 'HTTPS://127.0.0.1:9': transport error: Connecting to HTTPS without "
       "TLS enabled"},
  };
  for (const auto& c : cases) EXPECT_EQ(error_text(connect(c.endpoint)), c.error) << c.endpoint;
  const auto refused = error_text(connect("http://127.0.0.1:9"));
  EXPECT_EQ(refused.rfind("transport setup failed: Failed to connect to 'http://127.0.0.1:9': transport error: tcp "
                          "connect error: ", 0), 0u) << refused;
}

TEST_F(ConnectPeer, BadTokenFailsAfterTheConnectionIsOpen) {
  RevizerServerProcess server;
  ASSERT_TRUE(server.ok());
  auto client = connect("http://" + server.address(), 7000ms, "line\nfeed");
  EXPECT_EQ(error_text(client),
            "authentication setup failed: Auth interceptor setup failed: code: 'Internal error', message: \"Invalid "
            "bearer token value\"");
}

TEST_F(ConnectPeer, LostConnectionFailsTheCallAndTheNextCallReconnects) {
  RevizerServerProcess server;
  ASSERT_TRUE(server.ok());
  auto client = connect("http://" + server.address());
  ASSERT_TRUE(client) << error_text(client);
  auto dropped = adjudicate(*client, {event("behave:close-connection")});
  ASSERT_FALSE(dropped);
  EXPECT_EQ(dropped.error().grpc_status().code, common::GrpcCode::Unavailable) << text_of(dropped.error());
  auto again = adjudicate(*client, {event("after")});
  EXPECT_TRUE(again) << text_of(again.error());
}

TEST_F(ConnectPeer, ServerRestartOnTheSamePort) {
  std::uint16_t port = 0;
  Client client;
  {
    RevizerServerProcess first({.direct = true});
    ASSERT_TRUE(first.ok());
    port = first.port();
    auto connected = connect("http://" + first.address());
    ASSERT_TRUE(connected) << error_text(connected);
    client = *connected;
    ASSERT_TRUE(adjudicate(client, {event("before")}));
  }
  auto down = adjudicate(client, {event("while down")});
  ASSERT_FALSE(down);
  EXPECT_EQ(down.error().grpc_status().code, common::GrpcCode::Unavailable) << text_of(down.error());
  // The refused attempt's status carries the system's own text as its source.
  EXPECT_EQ(down.error().grpc_status().source, std::optional<std::string>("Connection refused (os error 111)")) << text_of(down.error());
  RevizerServerProcess second({.direct = true, .port = port});
  ASSERT_TRUE(second.ok());
  // The failed attempt put the channel in backoff (1 s, +-20 %): calls fail
  // at once until it ends, and the first call after it connects again.
  const auto give_up = std::chrono::steady_clock::now() + 5s;
  auto after = adjudicate(client, {event("after restart")});
  while (!after && std::chrono::steady_clock::now() < give_up) {
    EXPECT_EQ(after.error().grpc_status().code, common::GrpcCode::Unavailable) << text_of(after.error());
    std::this_thread::sleep_for(50ms);
    after = adjudicate(client, {event("after restart")});
  }
  EXPECT_TRUE(after) << text_of(after.error());
}

}  // namespace
}  // namespace revizer::client
