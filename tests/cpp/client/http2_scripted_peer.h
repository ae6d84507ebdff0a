#pragma once

// A server end of an HTTP/2 connection that a test scripts frame by frame:
// it reads what our client sends (blocking, with a bound) and writes the
// frames the test spells out, including ones no correct server sends. The
// client end is a connected socket pair, driven by Http2Connection on an
// io_context that runs on its own thread.

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/use_future.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "revizer/client/http2/grpc_protocol.h"
#include "revizer/client/http2/http2_connection.h"

namespace revizer::client::testing {

struct Frame {
  std::uint8_t type = 0;
  std::uint8_t flags = 0;
  std::int32_t stream_id = 0;
  std::string payload;
};

inline constexpr std::uint8_t kData = 0, kHeaders = 1, kRstStream = 3, kSettings = 4, kPing = 6, kGoaway = 7,
                              kWindowUpdate = 8, kContinuation = 9;
inline constexpr std::uint8_t kEndStream = 1, kAck = 1, kEndHeaders = 4;

inline std::string frame_bytes(std::uint8_t type, std::uint8_t flags, std::int32_t stream_id, std::string_view payload) {
  std::string out;
  const auto length = static_cast<std::uint32_t>(payload.size());
  out.push_back(static_cast<char>(length >> 16));
  out.push_back(static_cast<char>(length >> 8));
  out.push_back(static_cast<char>(length));
  out.push_back(static_cast<char>(type));
  out.push_back(static_cast<char>(flags));
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>(static_cast<std::uint32_t>(stream_id) >> shift));
  out.append(payload);
  return out;
}

// HPACK: each field as a literal without indexing, no Huffman coding.
inline void hpack_length(std::string& out, std::size_t value) {
  if (value < 127) {
    out.push_back(static_cast<char>(value));
    return;
  }
  out.push_back(static_cast<char>(127));
  value -= 127;
  while (value >= 128) {
    out.push_back(static_cast<char>(0x80 | (value & 0x7f)));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

inline std::string header_block(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    out.push_back(0);
    hpack_length(out, name.size());
    out += name;
    hpack_length(out, value.size());
    out += value;
  }
  return out;
}

// One gRPC message: the 5-byte prefix, then the bytes.
inline std::string grpc_message(std::string_view bytes) {
  std::string out(kMessagePrefixBytes, '\0');
  write_message_prefix(out.data(), static_cast<std::uint32_t>(bytes.size()));
  out.append(bytes);
  return out;
}

inline std::shared_ptr<UnaryCall> make_call(std::size_t body_bytes = 3,
                                            std::chrono::nanoseconds timeout = std::chrono::seconds(10)) {
  return std::make_shared<UnaryCall>(UnaryCallRequest{
      "/tavimor.revizer.v1.RevizerService/Adjudicates", {}, grpc_message(std::string(body_bytes, 'q')), timeout});
}

// Waits a bounded time (5 s) for `condition`.
template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

class ScriptedPeer {
 public:
  ScriptedPeer() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
    peer_fd_ = fds[1];
    asio::ip::tcp::socket socket(context_);
    socket.assign(asio::ip::tcp::v4(), fds[0]);
    connection_ = Http2Connection::start(strand_, Transport(std::move(socket)), "peer.test", "http");
    thread_ = std::thread([this] { context_.run(); });
  }
  ~ScriptedPeer() {
    asio::post(strand_, asio::use_future([this] { connection_->close("test over"); })).get();
    connection_.reset();
    work_.reset();
    thread_.join();
    if (peer_fd_ >= 0) ::close(peer_fd_);
  }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  // Runs `body` on the connection's strand and returns its result.
  template <class Body>
  auto on_strand(Body body) {
    return asio::post(strand_, asio::use_future(std::move(body))).get();
  }
  Http2Connection& connection() { return *connection_; }
  const std::shared_ptr<Http2Connection>& connection_ptr() { return connection_; }
  asio::io_context& context() { return context_; }
  const Http2Connection::Strand& strand() const { return strand_; }

  // Submits `call` with a completion that fulfils the returned future.
  std::future<CallOutcome> submit(const std::shared_ptr<UnaryCall>& call) {
    auto promise = std::make_shared<std::promise<CallOutcome>>();
    auto future = promise->get_future();
    call->completion = CallCompletion([promise](CallOutcome outcome) { promise->set_value(std::move(outcome)); },
                                      context_.get_executor());
    on_strand([&] { connection_->submit(call); });
    return future;
  }

  // Writes all of `bytes`, or stops early once the client has hung up.
  void write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(peer_fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) return;
      if (n <= 0) throw std::runtime_error("peer write failed");
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  void send(std::uint8_t type, std::uint8_t flags, std::int32_t stream_id, std::string_view payload) {
    write(frame_bytes(type, flags, stream_id, payload));
  }
  void send_settings(std::vector<std::pair<std::uint16_t, std::uint32_t>> entries = {}) {
    std::string payload;
    for (const auto& [id, value] : entries) {
      payload.push_back(static_cast<char>(id >> 8));
      payload.push_back(static_cast<char>(id));
      for (int shift : {24, 16, 8, 0}) payload.push_back(static_cast<char>(value >> shift));
    }
    send(kSettings, 0, 0, payload);
  }
  // Sends the server's SETTINGS and waits (boundedly) until the client has taken them.
  bool complete_handshake(std::vector<std::pair<std::uint16_t, std::uint32_t>> entries = {}) {
    send_settings(std::move(entries));
    return eventually([this] { return on_strand([this] { return connection_->can_open_stream(); }); });
  }
  void send_headers(std::int32_t stream_id, const std::vector<std::pair<std::string, std::string>>& fields,
                    bool end_stream) {
    send(kHeaders, static_cast<std::uint8_t>(kEndHeaders | (end_stream ? kEndStream : 0)), stream_id,
         header_block(fields));
  }
  // A whole answer: response headers, the data frames, trailers.
  void answer(std::int32_t stream_id, const std::vector<std::pair<std::string, std::string>>& headers,
              const std::vector<std::string>& data, const std::vector<std::pair<std::string, std::string>>& trailers) {
    send_headers(stream_id, headers, false);
    for (const auto& bytes : data) send(kData, 0, stream_id, bytes);
    send_headers(stream_id, trailers, true);
  }

  // The next frame from the client (after its preface), or nothing within `wait`.
  std::optional<Frame> read_frame(std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    if (!preface_read_) {
      if (!read_exactly(24, wait)) return std::nullopt;
      preface_read_ = true;
      buffer_.erase(0, 24);
    }
    if (!read_exactly(9, wait)) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data());
    const std::size_t length = (std::size_t{p[0]} << 16) | (std::size_t{p[1]} << 8) | p[2];
    if (!read_exactly(9 + length, wait)) return std::nullopt;
    p = reinterpret_cast<const unsigned char*>(buffer_.data());
    Frame frame{p[3], p[4],
                static_cast<std::int32_t>(((std::uint32_t{p[5]} << 24) | (std::uint32_t{p[6]} << 16) |
                                           (std::uint32_t{p[7]} << 8) | p[8]) & 0x7fffffff),
                buffer_.substr(9, length)};
    buffer_.erase(0, 9 + length);
    return frame;
  }
  // Reads frames until one of `type` arrives (or nothing more within `wait`).
  std::optional<Frame> read_until(std::uint8_t type, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    while (auto frame = read_frame(wait)) {
      if (frame->type == type) return frame;
    }
    return std::nullopt;
  }

  // The peer's end goes away with a TCP-style reset where possible.
  void close_peer() {
    ::close(peer_fd_);
    peer_fd_ = -1;
  }
  // The peer ends its side cleanly: the client reads the end of the stream.
  void end_writes() { ::shutdown(peer_fd_, SHUT_WR); }

 private:
  bool read_exactly(std::size_t wanted, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    char chunk[16384];
    while (buffer_.size() < wanted) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{peer_fd_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
      const ssize_t n = ::read(peer_fd_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }

  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(context_);
  Http2Connection::Strand strand_ = asio::make_strand(context_.get_executor());
  std::shared_ptr<Http2Connection> connection_;
  int peer_fd_ = -1;
  std::string buffer_;
  bool preface_read_ = false;
  std::thread thread_;
};

}  // namespace revizer::client::testing
