// The C++ side of the test peers: the gRPC C++ library's server of
// RevizerService started as a child process, the relay that reads request
// headers as sent, the test certificates and the TLS server without HTTP/2.
// (The behaviours themselves are held to the grpcio server's by pytest.)
#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <nghttp2/nghttp2.h>
#include <openssl/ssl.h>

#include <asio.hpp>
#include <fstream>
#include <regex>
#include <sstream>

#include "tavimor/revizer/v1/revizer.grpc.pb.h"
#include "tests/peers/h2_relay.h"
#include "tests/peers/openssl_tls_server.h"
#include "tests/peers/revizer_server_process.h"
#include "tests/peers/test_certificates.h"

namespace revizer::peers {
namespace {

namespace v1 = tavimor::revizer::v1;

v1::AdjudicatesRequest request_of(const std::string& trajectory_id, int events = 1) {
  v1::AdjudicatesRequest request;
  for (int i = 0; i < events; ++i) {
    v1::Event* event = request.add_events();
    event->set_event_id("evt-" + std::to_string(i));
    event->set_trajectory_id(trajectory_id);
    event->set_event_type("action");
    event->set_event_name("tool_call");
  }
  return request;
}

grpc::Status call(const std::shared_ptr<grpc::Channel>& channel, const v1::AdjudicatesRequest& request,
                  v1::AdjudicatesResponse& response, std::chrono::milliseconds timeout = std::chrono::seconds(5),
                  const std::string& authorization = "") {
  grpc::ClientContext context;
  context.set_deadline(std::chrono::system_clock::now() + timeout);
  if (!authorization.empty()) context.AddMetadata("authorization", authorization);
  return v1::RevizerService::NewStub(channel)->Adjudicates(&context, request, &response);
}

std::shared_ptr<grpc::Channel> plain_channel(std::uint16_t port) {
  return grpc::CreateChannel("127.0.0.1:" + std::to_string(port), grpc::InsecureChannelCredentials());
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool accepts(std::uint16_t port) {
  asio::io_context context;
  asio::ip::tcp::socket socket(context);
  asio::error_code ec;
  socket.connect({asio::ip::address_v4::loopback(), port}, ec);
  return !ec;
}

TEST(RevizerTestServer, AnswersEveryEventThroughTheGeneratedStubAndStopsWithItsOwner) {
  std::uint16_t port = 0;
  {
    RevizerServerProcess server;
    ASSERT_TRUE(server.ok()) << "revizer_test_server did not start";
    port = server.port();
    v1::AdjudicatesResponse response;
    const grpc::Status status = call(plain_channel(port), request_of("plain", 3), response);
    ASSERT_TRUE(status.ok()) << status.error_message();
    ASSERT_EQ(response.events_size(), 3);
    for (int i = 0; i < 3; ++i) {
      const v1::Event& answer = response.events(i);
      EXPECT_EQ(answer.event_id(), "evt-" + std::to_string(i));
      EXPECT_EQ(answer.event_name(), "adjudicated");
      EXPECT_EQ(answer.payload().fields().at("decision").string_value(), "Allow");
      EXPECT_EQ(answer.payload().fields().at("reason").string_value(), "action/tool_call");
    }
  }
  EXPECT_FALSE(accepts(port)) << "the server outlived its owner";
}

TEST(RevizerTestServer, DropsTheConnectionMidCallAndServesTheNextOne) {
  RevizerServerProcess server;
  ASSERT_TRUE(server.ok());
  auto channel = plain_channel(server.port());
  v1::AdjudicatesResponse response;
  EXPECT_EQ(call(channel, request_of("behave:close-connection"), response).error_code(), grpc::StatusCode::UNAVAILABLE);
  EXPECT_TRUE(call(channel, request_of("again"), response).ok());

  RevizerServerProcess direct({.direct = true});
  ASSERT_TRUE(direct.ok());
  EXPECT_EQ(call(plain_channel(direct.port()), request_of("behave:close-connection"), response).error_code(),
            grpc::StatusCode::FAILED_PRECONDITION);
}

TEST(H2Relay, KeepsEveryRequestsHeadersAsTheClientSentThem) {
  RevizerServerProcess server({.direct = true});
  ASSERT_TRUE(server.ok());
  H2Relay relay(server.port());
  auto channel = plain_channel(relay.port());
  v1::AdjudicatesResponse response;
  ASSERT_TRUE(call(channel, request_of("one"), response, std::chrono::milliseconds(250), "Bearer t1").ok());
  ASSERT_TRUE(call(channel, request_of("two"), response, std::chrono::seconds(7), "Bearer t2").ok());

  const auto requests = relay.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(header_values(requests[0].headers, ":path"),
            std::vector<std::string>{"/tavimor.revizer.v1.RevizerService/Adjudicates"});
  EXPECT_EQ(header_values(requests[0].headers, "authorization"), std::vector<std::string>{"Bearer t1"});
  // The second request's values come out of the HPACK dynamic table.
  EXPECT_EQ(header_values(requests[1].headers, "authorization"), std::vector<std::string>{"Bearer t2"});
  EXPECT_EQ(header_values(requests[1].headers, "content-type"), std::vector<std::string>{"application/grpc"});
  EXPECT_GT(requests[1].stream_id, requests[0].stream_id);
  const auto timeout = header_values(requests[0].headers, "grpc-timeout");
  ASSERT_EQ(timeout.size(), 1u);
  EXPECT_TRUE(std::regex_match(timeout[0], std::regex("[0-9]{1,8}[HMSmun]"))) << timeout[0];
}

// Frames as a client writes them, for the reader's framing cases.
std::string frame(std::uint8_t type, std::uint8_t flags, std::uint32_t stream, const std::string& payload) {
  std::string out;
  for (int shift : {16, 8, 0}) out.push_back(static_cast<char>(payload.size() >> shift));
  out.push_back(static_cast<char>(type));
  out.push_back(static_cast<char>(flags));
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>(stream >> shift));
  return out + payload;
}

std::string deflate(const HeaderList& headers) {
  nghttp2_hd_deflater* deflater = nullptr;
  nghttp2_hd_deflate_new(&deflater, 4096);
  std::vector<nghttp2_nv> nva;
  for (const auto& [name, value] : headers) {
    nva.push_back({reinterpret_cast<std::uint8_t*>(const_cast<char*>(name.data())),
                   reinterpret_cast<std::uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
                   NGHTTP2_NV_FLAG_NONE});
  }
  std::string block(nghttp2_hd_deflate_bound(deflater, nva.data(), nva.size()), '\0');
  const auto size = nghttp2_hd_deflate_hd(deflater, reinterpret_cast<std::uint8_t*>(block.data()), block.size(),
                                          nva.data(), nva.size());
  nghttp2_hd_deflate_del(deflater);
  block.resize(static_cast<std::size_t>(size));
  return block;
}

TEST(H2RequestReader, ReadsHeaderBlocksHoweverTheyAreFramed) {
  const std::string preface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
  const HeaderList headers = {{":method", "POST"}, {":path", "/x"}, {"grpc-timeout", "250000u"}};
  const std::string block = deflate(headers);
  const std::string settings = frame(0x4, 0, 0, "");
  const std::string half = block.substr(0, block.size() / 2), rest = block.substr(block.size() / 2);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"one HEADERS frame", frame(0x1, 0x4 | 0x1, 1, block)},
      {"HEADERS and CONTINUATION", frame(0x1, 0x1, 1, half) + frame(0x9, 0x4, 1, rest)},
      {"padded, with priority", frame(0x1, 0x4 | 0x8 | 0x20, 1, std::string("\x03\0\0\0\0\x10", 6) + block + "pad")},
  };
  for (const auto& c : cases) {
    const std::string stream = preface + settings + c.bytes;
    H2RequestReader whole;
    const auto at_once = whole.feed(stream);
    ASSERT_EQ(at_once.size(), 1u) << c.name;
    EXPECT_EQ(at_once[0].headers, headers) << c.name;
    EXPECT_EQ(at_once[0].stream_id, 1u) << c.name;

    H2RequestReader bytewise;
    std::vector<RequestHeaders> seen;
    for (char byte : stream) {
      for (auto& r : bytewise.feed(std::string(1, byte))) seen.push_back(std::move(r));
    }
    ASSERT_EQ(seen.size(), 1u) << c.name;
    EXPECT_EQ(seen[0].headers, headers) << c.name;
  }

  H2RequestReader tls;
  EXPECT_TRUE(tls.feed(std::string_view("\x16\x03\x01\x02\x00\x01", 6)).empty());
  EXPECT_TRUE(tls.gave_up());
}

TEST(TestCertificates, TrustedServerCertificateOnlyForItsOwnHost) {
  TestCertificates certs;
  ASSERT_TRUE(certs.ok()) << "make_test_certs.sh failed in " << certs.dir();
  const std::string ca = read_file(certs.ca());
  ASSERT_NE(ca.find("BEGIN CERTIFICATE"), std::string::npos);

  const struct {
    std::string cert, key;
    bool trusted;
  } servers[] = {
      {certs.server_cert(), certs.server_key(), true},
      {certs.wrong_host_cert(), certs.wrong_host_key(), false},
      {certs.self_signed_cert(), certs.self_signed_key(), false},
  };
  for (const auto& s : servers) {
    RevizerServerProcess server({.tls_cert = s.cert, .tls_key = s.key});
    ASSERT_TRUE(server.ok()) << s.cert;
    grpc::SslCredentialsOptions options;
    options.pem_root_certs = ca;
    // The address stays numeric (resolving "localhost" through c-ares leaks
    // a few bytes that LeakSanitizer reports); the name checked is localhost.
    grpc::ChannelArguments arguments;
    arguments.SetSslTargetNameOverride("localhost");
    auto channel = grpc::CreateCustomChannel("127.0.0.1:" + std::to_string(server.port()),
                                             grpc::SslCredentials(options), arguments);
    v1::AdjudicatesResponse response;
    const grpc::Status status = call(channel, request_of("tls"), response, std::chrono::seconds(3));
    EXPECT_EQ(status.ok(), s.trusted) << s.cert << ": " << status.error_message();
  }
}

// The outcome of a TLS handshake that offers only "h2", and what was selected.
struct Handshake {
  bool completed = false;
  std::string alpn;
};

Handshake handshake_offering_h2(std::uint16_t port, const std::string& ca) {
  asio::io_context context;
  asio::ip::tcp::socket socket(context);
  socket.connect({asio::ip::address_v4::loopback(), port});
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  SSL_CTX_load_verify_locations(ctx.get(), ca.c_str(), nullptr);
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
  static const unsigned char kH2[] = {2, 'h', '2'};
  SSL_set_alpn_protos(ssl.get(), kH2, sizeof kH2);
  SSL_set_tlsext_host_name(ssl.get(), "localhost");
  SSL_set1_host(ssl.get(), "localhost");
  SSL_set_fd(ssl.get(), socket.native_handle());
  Handshake outcome;
  outcome.completed = SSL_connect(ssl.get()) == 1;
  const unsigned char* selected = nullptr;
  unsigned length = 0;
  SSL_get0_alpn_selected(ssl.get(), &selected, &length);
  if (selected) outcome.alpn.assign(reinterpret_cast<const char*>(selected), length);
  return outcome;
}

TEST(OpensslTlsServer, NeverSelectsH2) {
  TestCertificates certs;
  ASSERT_TRUE(certs.ok());
  // Without ALPN of its own the handshake completes and selects nothing ...
  OpensslTlsServer silent(certs.server_cert(), certs.server_key());
  ASSERT_TRUE(silent.ok()) << "openssl s_server did not start";
  const Handshake plain = handshake_offering_h2(silent.port(), certs.ca());
  EXPECT_TRUE(plain.completed);
  EXPECT_EQ(plain.alpn, "");
  // ... with "http/1.1" only it refuses a client that offers nothing else.
  OpensslTlsServer http1(certs.server_cert(), certs.server_key(), "http/1.1");
  ASSERT_TRUE(http1.ok());
  EXPECT_FALSE(handshake_offering_h2(http1.port(), certs.ca()).completed);
}

}  // namespace
}  // namespace revizer::peers
