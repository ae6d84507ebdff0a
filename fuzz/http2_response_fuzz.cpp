// A hostile server's bytes through our HTTP/2 connection into two unary
// calls: after the server's SETTINGS, the input is everything the server
// says (frames for streams 1 and 3, GOAWAY, resets, junk), then it closes.
// Every call must finish exactly once, and nothing may crash or leak.
#include <sys/socket.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "revizer/client/http2/grpc_protocol.h"
#include "revizer/client/http2/http2_connection.h"
#include "schema/wire/message_limits.h"

using namespace revizer::client;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 128 * 1024) return -1;
  asio::io_context context;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
  const int buffer = 1 << 20;  // the whole input fits before the client reads
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  // The client end of the pair, driven as a TCP socket (only reads and writes are used).
  asio::ip::tcp::socket socket(context);
  socket.assign(asio::ip::tcp::v4(), fds[0]);

  auto strand = asio::make_strand(context.get_executor());
  auto connection = Http2Connection::start(strand, Transport(std::move(socket)), "fuzz.test", "http");
  int finished = 0;
  for (int i = 0; i < 2; ++i) {
    std::string framed(5, '\0');
    write_message_prefix(framed.data(), 3);
    framed += "abc";
    auto call = std::make_shared<UnaryCall>(
        UnaryCallRequest{"/tavimor.revizer.v1.RevizerService/Adjudicates", {}, framed, std::chrono::seconds(1)});
    call->completion = CallCompletion([&finished](CallOutcome outcome) {
      ++finished;
      if (outcome && outcome->size() > revizer::wire::kMaxMessageBytes) std::abort();
    }, strand);
    connection->submit(call);
  }

  // The server: an empty SETTINGS frame, the input, then the end of the stream.
  std::string server("\0\0\0\x04\0\0\0\0\0", 9);
  server.append(reinterpret_cast<const char*>(data), size);
  std::size_t written = 0;
  while (written < server.size()) {
    const ssize_t n = write(fds[1], server.data() + written, server.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  shutdown(fds[1], SHUT_WR);
  connection.reset();
  context.run();
  close(fds[1]);
  if (finished != 2) std::abort();
  return 0;
}
