#pragma once

// One HTTP/2 client connection over a Transport, driven by nghttp2: a read
// loop feeding the session, one write pump draining it, and a stream per
// unary call. Everything runs on the owning channel's strand. When the
// connection is lost, every open call fails with UNAVAILABLE and the
// transport's text; after a GOAWAY the streams the server accepted finish
// and no new ones start.

#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/any_io_executor.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "revizer/client/http2/unary_call.h"
#include "revizer/client/transport/transport.h"

struct nghttp2_session;

namespace revizer::client {

class Http2Connection : public std::enable_shared_from_this<Http2Connection> {
 public:
  using Strand = asio::strand<asio::any_io_executor>;

  // Starts the session (preface and SETTINGS are queued at once) and its
  // loops. `authority` and `scheme` go into every request.
  static std::shared_ptr<Http2Connection> start(Strand strand, Transport transport, std::string authority,
                                                std::string scheme);
  ~Http2Connection();
  Http2Connection(const Http2Connection&) = delete;
  Http2Connection& operator=(const Http2Connection&) = delete;

  // False once the connection is lost, closed or told to go away.
  bool usable() const { return !closed_ && !going_away_; }
  // Opens a stream for `call`; failures finish the call.
  void submit(const std::shared_ptr<UnaryCall>& call);
  // Abandons `call`'s stream with RST_STREAM (CANCEL).
  void reset(UnaryCall& call);
  // Ends the connection; open calls fail with `reason`.
  void close(const std::string& reason);

  std::size_t open_streams() const { return streams_.size(); }

  // nghttp2's callbacks, reached through the session's user data.
  struct Callbacks;

 private:
  Http2Connection(Strand strand, Transport transport, std::string authority, std::string scheme);
  bool init_session();
  // `self` keeps the connection alive while the loop runs.
  asio::awaitable<void> read_loop(std::shared_ptr<Http2Connection> self);
  asio::awaitable<void> write_loop(std::shared_ptr<Http2Connection> self);
  void wake_writer();
  void finish_stream(std::int32_t stream_id, std::uint32_t error_code);
  // A connection told to go away closes once its last stream has finished.
  void close_if_drained();

  Strand strand_;
  Transport transport_;
  std::string authority_;
  std::string scheme_;
  nghttp2_session* session_ = nullptr;
  std::unordered_map<std::int32_t, std::shared_ptr<UnaryCall>> streams_;
  asio::steady_timer writer_wake_;
  bool writer_waiting_ = false;
  bool closed_ = false;
  bool going_away_ = false;
  std::string close_reason_;
  std::vector<std::uint8_t> read_buffer_;
  std::string write_buffer_;
};

}  // namespace revizer::client
