// The CONNECT tunnel through a real proxy (Debian's tinyproxy) to a local echo
// server, and through a scripted proxy for every error reply.
#include <gtest/gtest.h>

#include <asio.hpp>

#include "common/proxy/proxy_tunnel.h"
#include "tests/cpp/common/scoped_env.h"
#include "tests/peers/echo_server.h"
#include "tests/peers/scripted_proxy.h"
#include "tests/peers/tinyproxy_process.h"

namespace revizer::common {
namespace {

using asio::ip::tcp;
using peers::ScriptedProxy;
using Kind = ProxyError::Kind;

// Drives one coroutine to its end (its result type has no default value,
// which co_spawn's completion tokens would need).
template <class T>
T run(asio::io_context& context, asio::awaitable<T> work) {
  std::optional<T> result;
  asio::co_spawn(
      context, [&]() -> asio::awaitable<void> { result.emplace(co_await std::move(work)); }, asio::detached);
  context.run();
  context.restart();
  return std::move(*result);
}

std::string exchange(tcp::socket& socket, const std::string& message) {
  asio::write(socket, asio::buffer(message));
  std::string reply(message.size(), '\0');
  asio::read(socket, asio::buffer(reply));
  return reply;
}

TEST(ProxyTunnel, ThroughTinyproxyToAnEchoServer) {
  testing::TempDir dir;
  peers::TinyproxyProcess proxy(dir.path());
  ASSERT_TRUE(proxy.ok()) << "tinyproxy did not start";
  peers::EchoServer echo;
  asio::io_context context;
  ProxyConnector connector({"127.0.0.1", proxy.port()});

  auto tunnel = run(context, connector.call({"http", "127.0.0.1", echo.port()}));
  ASSERT_TRUE(tunnel) << tunnel_error_text(tunnel.error());
  EXPECT_FALSE(tunnel->https);
  EXPECT_EQ(exchange(tunnel->socket, "ping through the tunnel"), "ping through the tunnel");

  // A second connection through the same connector builds a new tunnel.
  auto again = run(context, connector.call({"https", "localhost", echo.port()}));
  ASSERT_TRUE(again) << tunnel_error_text(again.error());
  EXPECT_TRUE(again->https);
  EXPECT_EQ(exchange(again->socket, "\x16\x03\x01 tls-ish bytes"), "\x16\x03\x01 tls-ish bytes");

  // tinyproxy answers a target it cannot reach with an error status.
  tcp::acceptor closed(context, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const std::uint16_t dead_port = closed.local_endpoint().port();
  closed.close();
  auto refused = run(context, connector.call({"http", "127.0.0.1", dead_port}));
  ASSERT_FALSE(refused);
  const auto& error = std::get<ProxyError>(refused.error());
  EXPECT_EQ(error.kind, Kind::ConnectRefused);
  EXPECT_EQ(error.target_port, dead_port);
  EXPECT_EQ(error.text().rfind("proxy 127.0.0.1:" + std::to_string(proxy.port()) + " refused CONNECT to 127.0.0.1:" +
                                   std::to_string(dead_port) + ": HTTP/1.",
                               0),
            0u)
      << error.text();
}

TEST(ProxyTunnel, SendsOneConnectRequestAndLeavesLaterBytesInTheStream) {
  ScriptedProxy proxy("HTTP/1.1 200 Connection established\r\n\r\nfirst bytes of the endpoint", ScriptedProxy::Then::KeepOpen);
  asio::io_context context;
  ProxyConnector connector({"127.0.0.1", proxy.port()});
  auto tunnel = run(context, connector.call({"https", "[::1]", std::nullopt}));
  ASSERT_TRUE(tunnel) << tunnel_error_text(tunnel.error());
  EXPECT_EQ(proxy.last_request(), "CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\n\r\n");
  std::string rest(27, '\0');
  asio::read(tunnel->socket, asio::buffer(rest));
  EXPECT_EQ(rest, "first bytes of the endpoint");
}

TEST(ProxyTunnel, ReplyHeads) {
  const std::string exact_limit_head = "HTTP/1.1 200 OK\r\nX: " + std::string(8192 - 24, 'a') + "\r\n\r\n";
  ASSERT_EQ(exact_limit_head.size(), 8192u);
  struct Case {
    const char* name;
    std::string reply;
    ScriptedProxy::Then then;
    std::optional<Kind> error;  // nothing: the tunnel opens
    std::string status_line = {};
  };
  const Case cases[] = {
      {"200 with reason", "HTTP/1.1 200 Connection established\r\n\r\n", ScriptedProxy::Then::KeepOpen, {}},
      {"204 with headers", "HTTP/1.0 204 No Content\r\nVia: x\r\nX-A: b\r\n\r\n", ScriptedProxy::Then::KeepOpen, {}},
      {"299, extra white space", "HTTP/1.1 \t 299  Fine\r\n\r\n", ScriptedProxy::Then::KeepOpen, {}},
      {"head of exactly 8192 bytes", exact_limit_head, ScriptedProxy::Then::KeepOpen, {}},
      {"407", "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
       ScriptedProxy::Then::KeepOpen, Kind::ConnectRefused, "HTTP/1.1 407 Proxy Authentication Required"},
      {"two digits", "HTTP/1.1 20 OK\r\n\r\n", ScriptedProxy::Then::KeepOpen, Kind::ConnectRefused, "HTTP/1.1 20 OK"},
      {"four digits", "HTTP/1.1 2000 OK\r\n\r\n", ScriptedProxy::Then::KeepOpen, Kind::ConnectRefused,
       "HTTP/1.1 2000 OK"},
      {"300", "HTTP/1.1 300 Multiple\r\n\r\n", ScriptedProxy::Then::KeepOpen, Kind::ConnectRefused,
       "HTTP/1.1 300 Multiple"},
      {"no status", "HTTP/1.1\r\n\r\n", ScriptedProxy::Then::KeepOpen, Kind::ConnectRefused, "HTTP/1.1"},
      {"invalid UTF-8 in the status line", "HTTP/1.1 5\xff\xfe Bad\r\n\r\n", ScriptedProxy::Then::KeepOpen,
       Kind::ConnectRefused, "HTTP/1.1 5\xEF\xBF\xBD\xEF\xBF\xBD Bad"},
      {"bare line feeds, then close", "HTTP/1.1 200 OK\n\n", ScriptedProxy::Then::Close, Kind::ClosedDuringConnect},
      {"bare line feeds past the limit", "HTTP/1.1 200 OK\n" + std::string(9000, '\n'), ScriptedProxy::Then::KeepOpen,
       Kind::OversizedResponse},
      {"one byte over the limit", exact_limit_head.substr(0, 8190) + "a\r\n\r\n", ScriptedProxy::Then::KeepOpen,
       Kind::OversizedResponse},
      {"close mid-head", "HTTP/1.1 200 Conn", ScriptedProxy::Then::Close, Kind::ClosedDuringConnect},
      {"close before any byte", "", ScriptedProxy::Then::Close, Kind::ClosedDuringConnect},
      {"reset mid-head", "HTTP/1.1 2", ScriptedProxy::Then::Reset, Kind::Read},
  };
  for (const Case& c : cases) {
    ScriptedProxy proxy(c.reply, c.then);
    asio::io_context context;
    auto socket = run(context, connect_tunnel({"127.0.0.1", proxy.port()}, "svc.example", 443));
    if (!c.error) {
      EXPECT_TRUE(socket) << c.name << ": " << socket.error().text();
      continue;
    }
    ASSERT_FALSE(socket) << c.name;
    const ProxyError& error = socket.error();
    EXPECT_EQ(error.kind, *c.error) << c.name << ": " << error.text();
    const std::string at = "proxy 127.0.0.1:" + std::to_string(proxy.port());
    switch (*c.error) {
      case Kind::ConnectRefused:
        EXPECT_EQ(error.status_line, c.status_line) << c.name;
        EXPECT_EQ(error.text(), at + " refused CONNECT to svc.example:443: " + c.status_line);
        break;
      case Kind::ClosedDuringConnect:
        EXPECT_EQ(error.text(), at + " closed the connection during CONNECT") << c.name;
        break;
      case Kind::OversizedResponse:
        EXPECT_EQ(error.text(), at + " sent an oversized CONNECT response head") << c.name;
        break;
      case Kind::Read:
        EXPECT_EQ(error.text(), "failed to read CONNECT response from " + at + ": Connection reset by peer (os error 104)");
        ASSERT_NE(error.cause(), nullptr);
        EXPECT_EQ(error.cause()->os_code, 104);
        break;
      default:
        ADD_FAILURE() << c.name;
    }
  }
}

TEST(ProxyTunnel, ConnectFailuresAndTargetsWithoutHost) {
  asio::io_context context;
  tcp::acceptor closed(context, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const std::uint16_t dead_port = closed.local_endpoint().port();
  closed.close();

  auto refused = run(context, connect_tunnel({"127.0.0.1", dead_port}, "svc", 443));
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().text(),
            "failed to connect to proxy 127.0.0.1:" + std::to_string(dead_port) + ": Connection refused (os error 111)");
  EXPECT_EQ(refused.error().debug_text(), "Connect { host: \"127.0.0.1\", port: " + std::to_string(dead_port) +
                                              ", source: \"Connection refused (os error 111)\" }");

  auto unknown = run(context, connect_tunnel({"no-such-host.invalid", 3128}, "svc", 443));
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().kind, Kind::Connect);
  EXPECT_EQ(unknown.error().text().rfind("failed to connect to proxy no-such-host.invalid:3128: ", 0), 0u);

  ProxyConnector connector({"127.0.0.1", dead_port});
  auto no_host = run(context, connector.call({"https", "", 443}));
  ASSERT_FALSE(no_host);
  EXPECT_EQ(tunnel_error_text(no_host.error()), "endpoint URI has no host");
  EXPECT_TRUE(std::holds_alternative<IoError>(no_host.error()));
}

TEST(ProxyError, TextsAndDebugForms) {
  const auto refused = ProxyError::connect_refused("p", 3128, "t", 443, "HTTP/1.1 407 Auth");
  EXPECT_EQ(refused.debug_text(),
            "ConnectRefused { host: \"p\", port: 3128, target_host: \"t\", target_port: 443, status_line: \"HTTP/1.1 407 Auth\" }");
  EXPECT_EQ(refused.cause(), nullptr);
  const auto send = ProxyError::io(Kind::Send, "p", 1, IoError::from_errno(32));
  EXPECT_EQ(send.text(), "failed to send CONNECT to proxy p:1: Broken pipe (os error 32)");
  EXPECT_EQ(ProxyError::invalid_configuration("ALL_PROXY", "empty host").debug_text(),
            "InvalidConfiguration { variable: \"ALL_PROXY\", reason: \"empty host\" }");
}

}  // namespace
}  // namespace revizer::common
