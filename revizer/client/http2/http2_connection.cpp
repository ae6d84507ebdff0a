#include "revizer/client/http2/http2_connection.h"

#include <asio/co_spawn.hpp>
#include <asio/completion_condition.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <nghttp2/nghttp2.h>
#include <optional>

#include "common/error/asio_error.h"
#include "revizer/client/http2/grpc_answer.h"
#include "revizer/client/http2/grpc_protocol.h"
#include "revizer/client/http2/http2_submit_hooks.h"

namespace revizer::client {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// Generous receive windows, so a 16 MiB answer streams without waiting for
// window updates at every 64 KiB.
constexpr std::int32_t kStreamWindow = 8 * 1024 * 1024;
constexpr std::int32_t kConnectionWindow = 64 * 1024 * 1024;
constexpr const char* kUserAgent = "tavimor-revizer-client/0.1";
// Frames are taken from the session into the outgoing buffer while a write
// is under way, so that its queue of unsent requests stays empty (a reset
// of an unsent request searches that queue). Beyond this many unwritten
// bytes, or a write that has moved no byte for kStallTime, the peer is not
// reading: no new stream opens here until the writes drain. A healthy peer
// empties a socket buffer within milliseconds, so a second without progress
// is not a slow link but a stalled one; and 1 MiB is many calls' worth of
// frames while keeping the connection's memory flat.
constexpr std::size_t kStallBytes = 1024 * 1024;
constexpr std::chrono::milliseconds kStallTime{1000};
// How long a PING may stay unanswered before the connection counts as lost.
constexpr std::chrono::milliseconds kPingTimeout{5000};
// How long request bytes may wait without one of them going out (a full TCP
// window, or a closed HTTP/2 window) before the connection is replaced. No
// working link holds every byte back for seconds, a slow one moves some, so
// 5 s is far from any healthy peer; and it stays below the longest call
// deadline (7 s), so calls that wait meanwhile can still reach a new
// connection. A call's own deadline would not do: calls would all fail
// before the connection is replaced, and short deadlines would take a brief
// pause for a stall. The same bound as an unanswered ping.
constexpr std::chrono::milliseconds kProgressBound{5000};

// A bound that tests shorten through `variable` (milliseconds, 1 to 60000).
std::chrono::milliseconds test_setting(const char* variable, std::chrono::milliseconds bound) {
  if (const char* text = std::getenv(variable)) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && value > 0 && value <= 60'000) return std::chrono::milliseconds(value);
  }
  return bound;
}

std::string duration_text(std::chrono::milliseconds duration) {
  if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
  return std::to_string(duration.count()) + " ms";
}

std::string_view view(const std::uint8_t* data, std::size_t length) {
  return {reinterpret_cast<const char*>(data), length};
}

// The status of calls whose connection was lost: `what` happened, and the
// innermost cause (the system's or TLS's text, or our own check's) is its
// source.
common::GrpcStatus lost_status(std::string what, std::string cause) {
  common::GrpcStatus status = grpc_status(GrpcCode::Unavailable, std::move(what));
  status.source = std::move(cause);
  return status;
}

// The status that ended a connection, as the chain of causes of a failed
// attempt: a source goes beneath the rest of the text, as the connector
// puts the system's error beneath its own.
TransportFailure failure_of(const common::GrpcStatus& status) {
  if (!status.source) return TransportFailure{{status.message}};
  std::string_view what = status.message;
  const std::string tail = ": " + *status.source;
  if (what.ends_with(tail)) what.remove_suffix(tail.size());
  return TransportFailure{{std::string(what), *status.source}};
}

nghttp2_nv header(std::string_view name, std::string_view value) {
  return {reinterpret_cast<std::uint8_t*>(const_cast<char*>(name.data())),
          reinterpret_cast<std::uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
          NGHTTP2_NV_FLAG_NONE};
}

}  // namespace


struct Http2Connection::Callbacks {
  static Http2Connection& self(void* user_data) { return *static_cast<Http2Connection*>(user_data); }

  static UnaryCall* call_of(Http2Connection& connection, std::int32_t stream_id) {
    const auto found = connection.streams_.find(stream_id);
    return found == connection.streams_.end() ? nullptr : found->second.get();
  }

  // No exception may cross nghttp2's C frames: one that escapes a callback
  // fails the session (and with it the connection) instead.
  template <class Body>
  static int guarded(void* user_data, Body&& body) noexcept {
    auto& connection = self(user_data);
    try {
      return body(connection);
    } catch (const std::exception& error) {
      connection.note_session_failure(error.what());
    } catch (...) {
      connection.note_session_failure("unknown exception");
    }
    return NGHTTP2_ERR_CALLBACK_FAILURE;
  }

  // Once any header of the answer has arrived the server has processed the
  // request: whatever ends the stream now, the call is not sent again.
  static int on_begin_headers(nghttp2_session*, const nghttp2_frame* frame, void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      if (frame->hd.type != NGHTTP2_HEADERS) return 0;
      if (UnaryCall* call = call_of(connection, frame->hd.stream_id)) call->answer_began = true;
      return 0;
    });
  }

  static int on_header(nghttp2_session*, const nghttp2_frame* frame, const std::uint8_t* name, std::size_t name_length,
                       const std::uint8_t* value, std::size_t value_length, std::uint8_t, void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      if (frame->hd.type != NGHTTP2_HEADERS) return 0;
      UnaryCall* call = call_of(connection, frame->hd.stream_id);
      if (!call) return 0;
      take_answer_header(*call, view(name, name_length), view(value, value_length));
      return 0;
    });
  }

  static int on_data_chunk(nghttp2_session*, std::uint8_t, std::int32_t stream_id, const std::uint8_t* data,
                           std::size_t length, void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      UnaryCall* call = call_of(connection, stream_id);
      if (!call) return 0;
      const bool refused = call->failure.has_value();
      take_answer_data(*call, view(data, length));
      if (call->failure && !refused) {
        // Stop the rest of a refused answer from arriving.
        nghttp2_submit_rst_stream(connection.session_, NGHTTP2_FLAG_NONE, stream_id, NGHTTP2_CANCEL);
      }
      return 0;
    });
  }

  // Any frame but the server's own PING shows that it reads and works. A
  // peer that sends PINGs while it reads nothing must not pass for alive:
  // its PINGs neither count for the liveness check nor answer our PING.
  static int on_begin_frame(nghttp2_session*, const nghttp2_frame_hd* hd, void* user_data) noexcept {
    if (hd->type != NGHTTP2_PING || (hd->flags & NGHTTP2_FLAG_ACK)) {
      auto& connection = self(user_data);
      ++connection.reads_;
      connection.ping_outstanding_ = false;
      if (hd->type == NGHTTP2_PING) ++connection.pings_.answered;
    }
    return 0;
  }

  static int on_frame_recv(nghttp2_session*, const nghttp2_frame* frame, void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      if (frame->hd.type == NGHTTP2_SETTINGS && !(frame->hd.flags & NGHTTP2_FLAG_ACK)) {
        if (!connection.handshake_done_) {
          connection.handshake_done_ = true;
          connection.handshake_signal_.cancel();
        }
        connection.change_pending_ = true;  // the stream limit may have risen
      } else if (frame->hd.type == NGHTTP2_GOAWAY) {
        connection.going_away_ = true;
        connection.change_pending_ = true;
        connection.close_if_drained();
      } else if (frame->hd.type == NGHTTP2_HEADERS) {
        if (UnaryCall* call = call_of(connection, frame->hd.stream_id)) end_answer_header_block(*call);
      }
      return 0;
    });
  }

  static int on_stream_close(nghttp2_session*, std::int32_t stream_id, std::uint32_t error_code,
                             void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      connection.stream_closed(stream_id, error_code);
      return 0;
    });
  }

  // Why the session is about to fail (the peer broke the protocol); kept for
  // the calls the failure ends.
  static int on_error(nghttp2_session*, int, const char* message, std::size_t length, void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      connection.session_error_text_.assign(message, length);
      return 0;
    });
  }

  // A GOAWAY or RST_STREAM of ours with an error code: the session ends the
  // connection or a stream over what the peer sent. The calls it ends
  // report why, not the resets and refusals that follow.
  static int on_frame_send(nghttp2_session*, const nghttp2_frame* frame, void* user_data) noexcept {
    return guarded(user_data, [&](Http2Connection& connection) {
      if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_REQUEST) {
        http2_test_hooks::maybe_fail_request_send();
      } else if (frame->hd.type == NGHTTP2_GOAWAY && frame->goaway.error_code != NGHTTP2_NO_ERROR) {
        if (!connection.session_failure_) connection.session_failure_ = connection.protocol_error(frame->goaway.error_code);
      } else if (frame->hd.type == NGHTTP2_RST_STREAM && frame->rst_stream.error_code != NGHTTP2_CANCEL) {
        UnaryCall* call = call_of(connection, frame->hd.stream_id);
        if (call && !call->failure) call->failure = connection.protocol_error(frame->rst_stream.error_code);
      }
      return 0;
    });
  }

  static ssize_t read_body(nghttp2_session*, std::int32_t, std::uint8_t* buffer, std::size_t length,
                           std::uint32_t* data_flags, nghttp2_data_source* source, void* user_data) noexcept {
    auto* call = static_cast<UnaryCall*>(source->ptr);
    const std::string& body = call->request.framed_message;
    const std::size_t n = std::min(length, body.size() - call->body_sent);
    std::memcpy(buffer, body.data() + call->body_sent, n);
    call->body_sent += n;
    self(user_data).request_bytes_taken_ += n;
    if (call->body_sent == body.size()) *data_flags |= NGHTTP2_DATA_FLAG_EOF;
    return static_cast<ssize_t>(n);
  }
};

std::shared_ptr<Http2Connection> Http2Connection::start(Strand strand, Transport transport, std::string authority,
                                                        std::string scheme) {
  std::shared_ptr<Http2Connection> connection(
      new Http2Connection(std::move(strand), std::move(transport), std::move(authority), std::move(scheme)));
  if (!connection->init_session()) {
    connection->close("failed to start the HTTP/2 session");
    return connection;
  }
  // The read loop owns the connection from the moment it is spawned: the
  // coroutine starts later, when the strand first runs it. An exception
  // that escapes it ends the connection, failing its calls. The preface
  // and SETTINGS go out from the strand too.
  asio::co_spawn(connection->strand_, connection->read_loop(connection), [connection](std::exception_ptr error) {
    if (error) connection->end_on_exception(error);
  });
  asio::post(connection->strand_, [connection] { connection->guarded([&] { connection->flush(); }); });
  return connection;
}

Http2Connection::Http2Connection(Strand strand, Transport transport, std::string authority, std::string scheme)
    : strand_(std::move(strand)),
      transport_(std::move(transport)),
      authority_(std::move(authority)),
      scheme_(std::move(scheme)),
      handshake_signal_(strand_),
      read_buffer_(kReadChunk),
      ping_timeout_(test_setting("_TAVIMOR_TEST_PING_TIMEOUT_MS", kPingTimeout)),
      ping_timer_(strand_),
      progress_(test_setting("_TAVIMOR_TEST_PROGRESS_BOUND_MS", kProgressBound)),
      progress_timer_(strand_) {
  handshake_signal_.expires_at(asio::steady_timer::time_point::max());
}

Http2Connection::~Http2Connection() {
  if (session_) nghttp2_session_del(session_);
}

bool Http2Connection::init_session() {
  nghttp2_session_callbacks* callbacks = nullptr;
  if (nghttp2_session_callbacks_new(&callbacks) != 0) return false;
  nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, &Callbacks::on_begin_headers);
  nghttp2_session_callbacks_set_on_header_callback(callbacks, &Callbacks::on_header);
  nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, &Callbacks::on_data_chunk);
  nghttp2_session_callbacks_set_on_begin_frame_callback(callbacks, &Callbacks::on_begin_frame);
  nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &Callbacks::on_frame_recv);
  nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, &Callbacks::on_stream_close);
  nghttp2_session_callbacks_set_error_callback2(callbacks, &Callbacks::on_error);
  nghttp2_session_callbacks_set_on_frame_send_callback(callbacks, &Callbacks::on_frame_send);
  nghttp2_option* options = nullptr;
  if (nghttp2_option_new(&options) != 0) {
    nghttp2_session_callbacks_del(callbacks);
    return false;
  }
  // Closed streams are forgotten at once: nothing here needs their
  // priority, and keeping them makes every close cost more.
  nghttp2_option_set_no_closed_streams(options, 1);
  const int rv = nghttp2_session_client_new2(&session_, callbacks, this, options);
  nghttp2_option_del(options);
  nghttp2_session_callbacks_del(callbacks);
  if (rv != 0) return false;
  const nghttp2_settings_entry settings[] = {
      {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
      {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, static_cast<std::uint32_t>(kStreamWindow)},
      {NGHTTP2_SETTINGS_NO_RFC7540_PRIORITIES, 1},
  };
  if (nghttp2_submit_settings(session_, NGHTTP2_FLAG_NONE, settings, std::size(settings)) != 0) return false;
  return nghttp2_session_set_local_window_size(session_, NGHTTP2_FLAG_NONE, 0, kConnectionWindow) == 0;
}

asio::awaitable<Status<TransportFailure>> Http2Connection::handshake() {
  const auto self = shared_from_this();
  if (!handshake_done_ && !closed_) {
    // Only the end of the handshake, the end of the connection or the
    // awaiting coroutine's cancellation cut this wait short.
    asio::error_code ec;
    co_await handshake_signal_.async_wait(asio::redirect_error(asio::use_awaitable, ec));
  }
  if (handshake_done_) co_return Ok{};
  if (closed_) co_return fail(failure_of(*close_status_));
  co_return fail(TransportFailure{{"HTTP/2 handshake cancelled"}});
}

bool Http2Connection::can_open_stream() const {
  if (!usable() || !handshake_done_) return false;
  const std::uint32_t limit = nghttp2_session_get_remote_settings(session_, NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS);
  return streams_.size() < limit && !write_stalled();
}

bool Http2Connection::write_stalled() const {
  if (outgoing_.size() + (writing_ ? in_flight_.size() : 0) > kStallBytes) return true;
  return writing_ && Clock::now() - write_moved_at_ > kStallTime;
}

void Http2Connection::submit(const std::shared_ptr<UnaryCall>& call) {
  if (!usable()) {
    call->finish(fail(close_status_ ? *close_status_ : grpc_status(GrpcCode::Unavailable, "connection is going away")));
    return;
  }
  // What is left of the call's deadline now: a call sent again (its stream
  // refused) sends less than the first time.
  const std::string timeout = grpc_timeout_text(call->time_left(UnaryCall::Clock::now()));
  std::vector<nghttp2_nv> headers;
  headers.reserve(9 + call->request.metadata.size());
  headers.push_back(header(":method", "POST"));
  headers.push_back(header(":scheme", scheme_));
  headers.push_back(header(":path", call->request.path));
  headers.push_back(header(":authority", authority_));
  headers.push_back(header("te", "trailers"));
  headers.push_back(header("content-type", "application/grpc"));
  headers.push_back(header("user-agent", kUserAgent));
  headers.push_back(header("grpc-timeout", timeout));
  for (const auto& entry : call->request.metadata) headers.push_back(header(entry.key, entry.value.view()));

  nghttp2_data_provider body{};
  body.source.ptr = call.get();
  body.read_callback = &Callbacks::read_body;
  const std::int32_t stream_id =
      http2_test_hooks::out_of_stream_ids()
          ? NGHTTP2_ERR_STREAM_ID_NOT_AVAILABLE
          : nghttp2_submit_request(session_, nullptr, headers.data(), headers.size(), &body, call.get());
  if (stream_id < 0) {
    // Out of stream ids (or memory): this connection takes no more calls.
    // Nothing of a call that found no stream id was sent: it goes to the
    // next connection.
    going_away_ = true;
    if (stream_id == NGHTTP2_ERR_STREAM_ID_NOT_AVAILABLE && on_unprocessed_) {
      call->prepare_resend();
      on_unprocessed_({call});
    } else {
      call->finish(fail(grpc_status(GrpcCode::Unavailable, std::string("cannot open a stream: ") + nghttp2_strerror(stream_id))));
    }
    close_if_drained();
    changed();
    return;
  }
  call->stream_id = stream_id;
  call->reads_at_send = reads_;
  call->connection = weak_from_this();
  streams_.emplace(stream_id, call);
  flush();
}

void Http2Connection::reset(UnaryCall& call, bool timed_out) {
  if (closed_ || call.stream_id < 0 || !streams_.contains(call.stream_id)) return;
  // The request is out of the session's queue of unsent requests (see
  // kStallBytes), so this finds the stream by id without a search.
  nghttp2_submit_rst_stream(session_, NGHTTP2_FLAG_NONE, call.stream_id, NGHTTP2_CANCEL);
  if (timed_out) check_liveness(call);
  flush();
}

void Http2Connection::check_liveness(const UnaryCall& call) {
  if (ping_outstanding_ || reads_ != call.reads_at_send) return;
  ping();
}

void Http2Connection::ping() {
  if (nghttp2_submit_ping(session_, NGHTTP2_FLAG_NONE, nullptr) != 0) return;
  ++pings_.sent;
  if (ping_outstanding_) return;  // its bound covers this one too: any answer ends both
  ping_outstanding_ = true;
  ping_timer_.expires_after(ping_timeout_);
  ping_timer_.async_wait([self = shared_from_this(), generation = reads_](asio::error_code ec) {
    // A wait ends early only when cancelled (tested as a flag: see the
    // channel's deadline timer).
    if (!ec && self->ping_outstanding_ && self->reads_ == generation) {
      self->guarded([&] { self->on_ping_timeout(); });
    }
  });
}

void Http2Connection::on_ping_timeout() {
  const std::string cause = "the server did not answer a ping within " + duration_text(ping_timeout_);
  end_connection(lost_status("connection lost: " + cause, cause));
}

void Http2Connection::watch_progress() {
  progress_watched_ = true;
  progress_timer_.expires_after(progress_.period());
  progress_timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
    // Cancelled only when the connection ends (tested as a flag: see the
    // channel's deadline timer).
    if (!ec) self->guarded([&] { self->look_at_progress(); });
  });
}

void Http2Connection::end_stalled(const char* why) {
  const std::string cause = "no request byte could be sent for " + duration_text(progress_.bound()) + " (" + why + ")";
  end_connection(lost_status("connection stalled: " + cause, cause));
}

void Http2Connection::look_at_progress() {
  progress_watched_ = false;
  if (closed_) return;
  const auto write_moved_at = writing_ ? std::optional(write_moved_at_) : std::nullopt;
  switch (progress_.look(Clock::now(), write_moved_at, request_bytes_taken_, pings_,
                         [&] { return request_held_by_window(); })) {
    case ProgressWatch::Verdict::StalledWrites:
      end_stalled("the server reads nothing");
      return;
    case ProgressWatch::Verdict::StalledWindow:
      end_stalled("the server keeps its flow-control window closed");
      return;
    case ProgressWatch::Verdict::Ping:
      ping();
      flush();
      if (closed_) return;
      break;
    case ProgressWatch::Verdict::None:
      break;
  }
  // An idle connection is not looked at; its next write starts the looks again.
  if (writing_ || !streams_.empty()) watch_progress();
}

bool Http2Connection::request_held_by_window() const {
  const bool connection_window_closed = nghttp2_session_get_remote_window_size(session_) <= 0;
  for (const auto& [stream_id, call] : streams_) {
    if (call->body_sent == call->request.framed_message.size()) continue;
    // 0 when the stream's window is closed (-1: no such stream).
    if (connection_window_closed || nghttp2_session_get_stream_remote_window_size(session_, stream_id) == 0) {
      return true;
    }
  }
  return false;
}

void Http2Connection::stream_closed(std::int32_t stream_id, std::uint32_t error_code) {
  const auto found = streams_.find(stream_id);
  if (found == streams_.end()) return;
  UnaryCall& call = *found->second;
  if (session_failure_ && !call.failure && !call.grpc_status) call.failure = *session_failure_;
  closed_streams_.emplace_back(std::move(found->second), error_code);
  streams_.erase(found);
  change_pending_ = true;
}

void Http2Connection::finish_closed_streams(bool last_here) {
  while (!closed_streams_.empty()) {
    auto closed = std::move(closed_streams_);
    closed_streams_.clear();
    // The calls the server never processed go back first, to the front of
    // the channel's queue, ahead of the calls that their streams free.
    Unprocessed unprocessed;
    std::erase_if(closed, [&](auto& entry) {
      auto& [call, error_code] = entry;
      if (call->finished || !resendable(*call, error_code)) return false;
      call->prepare_resend();
      unprocessed.push_back(std::move(call));
      return true;
    });
    if (!unprocessed.empty()) on_unprocessed_(std::move(unprocessed));
    for (std::size_t i = 0; i < closed.size(); ++i) {
      auto& [call, error_code] = closed[i];
      if (call->finished) continue;
      CallOutcome outcome = answer_outcome(*call, error_code);
      if (last_here && i + 1 == closed.size() && closed_streams_.empty()) {
        // The connection's own state is settled first, and the channel
        // has opened what waits for a free stream: the caller's code may
        // run right here and open the next call.
        close_if_drained();
        deliver_changes();
        call->finish_here(std::move(outcome));
      } else {
        call->finish(std::move(outcome));
      }
    }
  }
  close_if_drained();
}

bool Http2Connection::resendable(const UnaryCall& call, std::uint32_t error_code) const {
  // RFC 9113 §8.7: the server processed nothing of a stream it reset with
  // REFUSED_STREAM, nor of one above its GOAWAY's last stream id (the
  // session closes those with REFUSED_STREAM, as it does a request still
  // unsent when the GOAWAY came). A stream whose answer began was
  // processed; one this end refused carries its own failure. A call is
  // sent again only within its deadline: the deadline bounds the resends.
  return on_unprocessed_ && error_code == NGHTTP2_REFUSED_STREAM && !call.answer_began && !call.failure &&
         (!call.deadline_armed || UnaryCall::Clock::now() < call.deadline);
}

void Http2Connection::close_if_drained() {
  if (going_away_ && streams_.empty()) close("connection is going away");
}

void Http2Connection::close(const std::string& reason) {
  end_connection(grpc_status(GrpcCode::Unavailable, reason));
}

void Http2Connection::end_connection(common::GrpcStatus status) {
  if (closed_) return;
  closed_ = true;
  close_status_ = std::move(status);
  handshake_signal_.cancel();
  ping_timer_.cancel();
  progress_timer_.cancel();
  auto streams = std::move(streams_);
  streams_.clear();
  for (auto& [id, call] : streams) call->finish(fail(*close_status_));
  transport_.close();  // a write under way ends with operation_aborted
  changed();
}

void Http2Connection::note_session_failure(const char* what) noexcept {
  try {
    if (!session_failure_) session_failure_ = grpc_status(GrpcCode::Internal, std::string("HTTP/2 session failed: ") + what);
  } catch (...) {
    // Out of memory even for the text: the session's error code tells.
  }
}

void Http2Connection::end_on_exception(std::exception_ptr error) noexcept {
  std::string what = "unknown exception";
  try {
    std::rethrow_exception(std::move(error));
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  try {
    end_connection(grpc_status(GrpcCode::Internal, "HTTP/2 connection failed: " + what));
  } catch (...) {
    // Not even the failure could be reported: at least stop the connection.
    closed_ = true;
    transport_.close();
  }
}

void Http2Connection::changed() {
  change_pending_ = true;
  deliver_changes();
}

void Http2Connection::deliver_changes() {
  if (in_session_ || delivering_changes_) return;
  delivering_changes_ = true;
  while (change_pending_) {
    change_pending_ = false;
    if (on_change_) on_change_();
  }
  delivering_changes_ = false;
}

struct Http2Connection::WriteDone {
  std::shared_ptr<Http2Connection> self;

  using executor_type = Strand;
  executor_type get_executor() const noexcept { return self->strand_; }
  void operator()(asio::error_code ec, std::size_t) const {
    self->guarded([&] { self->on_written(ec); });
  }
  // The completion of a write is this worker's own next step: it stays in
  // the worker's queue instead of waking another worker for it.
  friend bool asio_handler_is_continuation(WriteDone*) { return true; }
};

// Asked after every part of a write (on the strand): a part that moved
// bytes is progress, so a large write on a slow link is no stall. A write
// that goes out at once takes no clock here.
struct Http2Connection::WriteProgress {
  Http2Connection* self;  // kept alive by the write's WriteDone

  std::size_t operator()(const asio::error_code& ec, std::size_t written) const {
    if (!ec && written > self->in_flight_written_ && written < self->in_flight_.size()) {
      self->write_moved_at_ = Clock::now();
    }
    self->in_flight_written_ = written;
    return asio::transfer_all()(ec, written);
  }
};

void Http2Connection::flush() {
  write_pending();
  // Sending a reset closes its stream.
  finish_closed_streams(false);
  deliver_changes();
}

void Http2Connection::write_pending() {
  if (closed_) return;
  ssize_t error = 0;
  in_session_ = true;
  while (outgoing_.size() < kStallBytes) {
    const std::uint8_t* data = nullptr;
    const ssize_t n = nghttp2_session_mem_send(session_, &data);
    if (n <= 0) {
      error = n;
      break;
    }
    outgoing_.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(n));
  }
  in_session_ = false;
  if (error < 0) {
    end_session(static_cast<int>(error));
    return;
  }
  if (writing_ || closed_) return;
  if (outgoing_.empty()) {
    if (!nghttp2_session_want_read(session_) && !nghttp2_session_want_write(session_)) end_session(0);
    return;
  }
  in_flight_.swap(outgoing_);
  outgoing_.clear();
  writing_ = true;
  write_moved_at_ = Clock::now();
  in_flight_written_ = 0;
  if (!progress_watched_) watch_progress();
  transport_.async_write(asio::buffer(in_flight_), WriteProgress{this}, WriteDone{shared_from_this()});
}

void Http2Connection::on_written(asio::error_code ec) {
  const bool was_stalled = write_stalled();
  writing_ = false;
  if (closed_) return;
  if (ec) {
    end_connection(lost_connection_status(ec));
    return;
  }
  if (was_stalled) change_pending_ = true;
  flush();
}

void Http2Connection::end_session(int error) {
  if (session_failure_) {
    end_connection(*session_failure_);
  } else if (error != 0) {
    end_connection(grpc_status(GrpcCode::Internal, "HTTP/2 protocol error: " + (session_error_text_.empty() ? std::string(nghttp2_strerror(error)) : session_error_text_)));
  } else {
    close("connection closed");
  }
}

common::GrpcStatus Http2Connection::protocol_error(std::uint32_t error_code) const {
  return grpc_status(GrpcCode::Internal, "HTTP/2 protocol error: " + (session_error_text_.empty()
                                                                        ? std::string(nghttp2_http2_strerror(error_code))
                                                                        : session_error_text_));
}

common::GrpcStatus Http2Connection::lost_connection_status(const asio::error_code& ec) {
  std::string text = common::io_error_from(ec).text;
  if (ec == asio::error::eof) return lost_status("connection closed by the server", std::move(text));
  return lost_status("connection lost: " + text, text);
}

void Http2Connection::receive(std::size_t length) {
  in_session_ = true;
  const ssize_t consumed = nghttp2_session_mem_recv(session_, read_buffer_.data(), length);
  in_session_ = false;
  if (consumed < 0) end_session(static_cast<int>(consumed));
  write_pending();  // acknowledgements, window updates, resets
  finish_closed_streams(true);
  deliver_changes();
}

asio::awaitable<void> Http2Connection::read_loop(std::shared_ptr<Http2Connection> self) {
  (void)self;  // named: GCC 12 mishandles unnamed coroutine parameters
  while (!closed_) {
    asio::error_code ec;
    const std::size_t n = co_await transport_.read_some(asio::buffer(read_buffer_), ec);
    if (closed_) break;
    if (ec) {
      end_connection(lost_connection_status(ec));
      break;
    }
    receive(n);
  }
}

}  // namespace revizer::client
