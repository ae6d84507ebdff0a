#pragma once

// One HTTP/2 client connection over a Transport, driven by nghttp2: a read
// loop feeding the session, one write pump draining it, and a stream per
// unary call. Everything runs on the owning channel's strand. When the
// connection is lost, every open call fails with UNAVAILABLE and the
// transport's text (also as the status's source); when the peer breaks the
// protocol, with INTERNAL and the session's error. After a GOAWAY the
// streams the server accepted finish and no new ones start. A call whose
// stream the server never processed (refused, above a GOAWAY's last stream
// id, or never sent) goes back to the channel to be sent again. A connection
// that stays silent after a call timed out (PINGs of the server's own do
// not count) is pinged, and closed when the ping goes unanswered. One that
// takes no request byte for a while, though bytes wait to go (the peer
// reads nothing, or keeps its flow-control window closed), is closed too,
// whatever it sends meanwhile (ProgressWatch).
//
// The pump writes as soon as there is something to send, from whichever
// handler queued it (no hand-over to a writer task), and its completion
// stays on the same worker. Calls that a read finishes are handed back
// after the session has taken the whole read: all but the last by post, so
// other workers take them, the last on this worker.

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/error_code.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "revizer/client/http2/progress_watch.h"
#include "revizer/client/http2/unary_call.h"
#include "revizer/client/transport/transport.h"
#include "revizer/client/transport/transport_failure.h"
#include "support/result.h"

struct nghttp2_session;

namespace revizer::client {

class Http2Connection : public std::enable_shared_from_this<Http2Connection> {
 public:
  using Strand = asio::strand<asio::any_io_executor>;
  using Clock = std::chrono::steady_clock;

  // Starts the session (preface and SETTINGS are queued at once) and its
  // loops. `authority` and `scheme` go into every request.
  static std::shared_ptr<Http2Connection> start(Strand strand, Transport transport, std::string authority,
                                                std::string scheme);
  ~Http2Connection();
  Http2Connection(const Http2Connection&) = delete;
  Http2Connection& operator=(const Http2Connection&) = delete;

  // Completes once the server's SETTINGS frame has arrived (our preface and
  // SETTINGS queued before), or with the failure that ended the connection
  // first (a peer that does not speak HTTP/2 fails it with the protocol
  // error). Cancellation of the awaiting coroutine (terminal or partial)
  // ends the wait with "HTTP/2 handshake cancelled"; the caller then closes
  // the connection. No timer of its own: the caller bounds it. Awaited on
  // the strand.
  asio::awaitable<Status<TransportFailure>> handshake();

  // False once the connection is lost, closed or told to go away.
  bool usable() const { return !closed_ && !going_away_; }
  // True when a new stream may be opened now: usable, handshake done, fewer
  // open streams than the server allows, and writes not stalled.
  bool can_open_stream() const;
  // Called on the strand (never inside nghttp2's callbacks) whenever
  // can_open_stream() may have become true, and once when the connection
  // stops being usable. Set once, by the channel.
  void set_on_change(std::function<void()> callback) { on_change_ = std::move(callback); }
  // Takes back calls the server never processed (RFC 9113 §8.7), in the
  // order they were sent, ready to be sent again; called on the strand,
  // outside nghttp2's callbacks. Set once, by the channel. Without it such
  // calls fail with the refusal.
  using Unprocessed = std::vector<std::shared_ptr<UnaryCall>>;
  void set_on_unprocessed(std::function<void(Unprocessed)> callback) { on_unprocessed_ = std::move(callback); }

  // Opens a stream for `call`; failures finish the call. The channel calls
  // it only when can_open_stream() holds.
  void submit(const std::shared_ptr<UnaryCall>& call);
  // Abandons `call`'s stream with RST_STREAM (CANCEL), in constant time.
  // `timed_out`: the call's deadline passed, which the liveness check counts.
  void reset(UnaryCall& call, bool timed_out);
  // Ends the connection; open calls fail with UNAVAILABLE and `reason`.
  void close(const std::string& reason);

  std::size_t open_streams() const { return streams_.size(); }

  // nghttp2's callbacks, reached through the session's user data.
  struct Callbacks;

 private:
  Http2Connection(Strand strand, Transport transport, std::string authority, std::string scheme);
  bool init_session();
  // `self` keeps the connection alive while the loop runs.
  asio::awaitable<void> read_loop(std::shared_ptr<Http2Connection> self);
  // Takes one read into the session, then sends what it answers and
  // finishes the calls it closed.
  void receive(std::size_t length);
  // Moves what the session has to send into the outgoing buffer and starts
  // a write unless one is under way; `flush` also finishes the calls whose
  // streams that closed.
  void flush();
  void write_pending();
  void on_written(asio::error_code ec);
  struct WriteDone;
  struct WriteProgress;
  bool write_stalled() const;
  // Moves a closed stream's call aside; `finish_closed_streams` finishes it
  // once the session is out of its callbacks.
  void stream_closed(std::int32_t stream_id, std::uint32_t error_code);
  void finish_closed_streams(bool last_here);
  // Whether a call whose stream closed with `error_code` goes back to the
  // channel rather than ending.
  bool resendable(const UnaryCall& call, std::uint32_t error_code) const;
  // A connection told to go away closes once its last stream has finished.
  void close_if_drained();
  // Ends the connection with `status` for every open call.
  void end_connection(common::GrpcStatus status);
  // Ends it after the session failed (`error`: nghttp2's error code, or 0
  // when it simply has nothing more to do).
  void end_session(int error);
  // The failure of a session that ends over the peer's protocol error.
  common::GrpcStatus protocol_error(std::uint32_t error_code) const;
  static common::GrpcStatus lost_connection_status(const asio::error_code& ec);
  // Records why the session fails, for its calls (inside a callback).
  void note_session_failure(const char* what) noexcept;
  // Handlers run their body through `guarded`: an exception that escapes
  // ends the connection and fails its calls rather than leaving them.
  template <class Body>
  void guarded(Body&& body) noexcept {
    try {
      body();
    } catch (...) {
      end_on_exception(std::current_exception());
    }
  }
  void end_on_exception(std::exception_ptr error) noexcept;
  // Reports a possible change of can_open_stream() to the channel, at once
  // when outside the session's callbacks, else when they have returned.
  void changed();
  void deliver_changes();
  // Sends a PING when a timed-out call's connection has been silent since
  // the call's request went out (PINGs of the server's own do not break the
  // silence); no answer within the bound closes it.
  void check_liveness(const UnaryCall& call);
  // Sends a PING; one that goes unanswered (no frame of the server's at all)
  // within the bound closes the connection.
  void ping();
  void on_ping_timeout();
  // Looks at the progress of the requests every period while streams are
  // open or a write is under way, and closes a stalled connection.
  void watch_progress();
  // Ends a connection that made no progress; `why` names what held it.
  void end_stalled(const char* why);
  void look_at_progress();
  // True when some open stream has request bytes that a closed stream or
  // connection window holds back.
  bool request_held_by_window() const;

  Strand strand_;
  Transport transport_;
  std::string authority_;
  std::string scheme_;
  nghttp2_session* session_ = nullptr;
  std::unordered_map<std::int32_t, std::shared_ptr<UnaryCall>> streams_;
  std::vector<std::pair<std::shared_ptr<UnaryCall>, std::uint32_t>> closed_streams_;

  // Handshake.
  bool handshake_done_ = false;
  asio::steady_timer handshake_signal_;

  // Connection state.
  bool closed_ = false;
  bool going_away_ = false;
  std::optional<common::GrpcStatus> close_status_;
  // The session's own failure (a protocol violation by the peer, a
  // callback that failed): its calls report it, not the resets it causes.
  std::optional<common::GrpcStatus> session_failure_;
  std::string session_error_text_;

  // Change reports.
  std::function<void()> on_change_;
  std::function<void(Unprocessed)> on_unprocessed_;
  bool in_session_ = false;
  bool change_pending_ = false;
  bool delivering_changes_ = false;

  // Reads and liveness.
  std::vector<std::uint8_t> read_buffer_;
  std::uint64_t reads_ = 0;  // frames received so far, the server's own PINGs left out
  bool ping_outstanding_ = false;
  ProgressWatch::Pings pings_;  // our PINGs sent and answered
  std::chrono::milliseconds ping_timeout_;
  asio::steady_timer ping_timer_;

  // Writes: `outgoing_` collects frames while `in_flight_` is written.
  bool writing_ = false;
  Clock::time_point write_moved_at_{};  // the write's start, or when it last moved a byte
  std::size_t in_flight_written_ = 0;
  std::string outgoing_;
  std::string in_flight_;

  // Progress of the requests.
  std::uint64_t request_bytes_taken_ = 0;  // request DATA the session has taken
  ProgressWatch progress_;
  asio::steady_timer progress_timer_;
  bool progress_watched_ = false;  // a look is due
};

}  // namespace revizer::client
