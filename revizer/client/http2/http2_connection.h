#pragma once

// One HTTP/2 client connection over a Transport, driven by nghttp2: a read
// loop feeding the session, one write pump draining it, and a stream per
// unary call. Everything runs on the owning channel's strand. When the
// connection is lost, every open call fails with UNAVAILABLE and the
// transport's text; after a GOAWAY the streams the server accepted finish
// and no new ones start.
//
// The pump writes as soon as there is something to send, from whichever
// handler queued it (no hand-over to a writer task), and its completion
// stays on the same worker. Calls that a read finishes are handed back
// after the session has taken the whole read: all but the last by post, so
// other workers take them, the last on this worker.

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/error_code.hpp>
#include <asio/strand.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
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
  // Starts a write of what the session has to send, unless one is under
  // way; `flush` also finishes the calls whose streams that closed.
  void flush();
  void write_pending();
  void on_written(asio::error_code ec);
  struct WriteDone;
  // Moves a closed stream's call aside; `finish_closed_streams` finishes it
  // once the session is out of its callbacks.
  void stream_closed(std::int32_t stream_id, std::uint32_t error_code);
  void finish_closed_streams(bool last_here);
  // A connection told to go away closes once its last stream has finished.
  void close_if_drained();

  Strand strand_;
  Transport transport_;
  std::string authority_;
  std::string scheme_;
  nghttp2_session* session_ = nullptr;
  std::unordered_map<std::int32_t, std::shared_ptr<UnaryCall>> streams_;
  std::vector<std::pair<std::shared_ptr<UnaryCall>, std::uint32_t>> closed_streams_;
  bool writing_ = false;
  bool closed_ = false;
  bool going_away_ = false;
  std::string close_reason_;
  std::vector<std::uint8_t> read_buffer_;
  std::string write_buffer_;
};

}  // namespace revizer::client
