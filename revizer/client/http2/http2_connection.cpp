#include "revizer/client/http2/http2_connection.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <cstring>
#include <nghttp2/nghttp2.h>

#include "common/error/asio_error.h"
#include "revizer/client/http2/grpc_protocol.h"
#include "schema/wire/message_limits.h"

namespace revizer::client {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kWriteChunk = 64 * 1024;
// Generous receive windows, so a 16 MiB answer streams without waiting for
// window updates at every 64 KiB.
constexpr std::int32_t kStreamWindow = 8 * 1024 * 1024;
constexpr std::int32_t kConnectionWindow = 64 * 1024 * 1024;
constexpr const char* kUserAgent = "tavimor-revizer-client/0.1";

std::string_view view(const std::uint8_t* data, std::size_t length) {
  return {reinterpret_cast<const char*>(data), length};
}

nghttp2_nv header(std::string_view name, std::string_view value) {
  return {reinterpret_cast<std::uint8_t*>(const_cast<char*>(name.data())),
          reinterpret_cast<std::uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
          NGHTTP2_NV_FLAG_NONE};
}

// What the answer of a closed stream amounts to.
CallOutcome outcome_of(UnaryCall& call, std::uint32_t error_code) {
  if (call.failure) return fail(std::move(*call.failure));
  if (call.grpc_status) {
    if (*call.grpc_status != 0) return fail(grpc_status(*call.grpc_status, percent_decode(call.grpc_message)));
  } else if (error_code != NGHTTP2_NO_ERROR) {
    return fail(status_from_reset(error_code));
  } else if (call.http_status != 200) {
    return fail(status_from_http(call.http_status));
  } else {
    return fail(grpc_status(GrpcCode::Internal, "protocol error: missing grpc-status"));
  }
  if (call.data.size() < kMessagePrefixBytes) return fail(grpc_status(GrpcCode::Internal, "Missing response message."));
  if (call.data[0] != 0) {
    return fail(grpc_status(GrpcCode::Internal, "protocol error: received a compressed message, but no compression was negotiated"));
  }
  const auto* p = reinterpret_cast<const unsigned char*>(call.data.data());
  const std::size_t length = (std::size_t{p[1]} << 24) | (std::size_t{p[2]} << 16) | (std::size_t{p[3]} << 8) | p[4];
  if (call.data.size() < kMessagePrefixBytes + length) {
    return fail(grpc_status(GrpcCode::Internal, "protocol error: the answer ended inside a message"));
  }
  call.data.erase(0, kMessagePrefixBytes);
  call.data.resize(length);
  return std::move(call.data);
}

// Appends answer bytes up to the end of the first message; refuses a message
// over the limit as soon as its prefix is known.
void take_data(UnaryCall& call, std::string_view bytes) {
  if (call.failure) return;
  std::size_t wanted = kMessagePrefixBytes;
  if (call.data.size() >= kMessagePrefixBytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(call.data.data());
    wanted += (std::size_t{p[1]} << 24) | (std::size_t{p[2]} << 16) | (std::size_t{p[3]} << 8) | p[4];
  }
  while (!bytes.empty() && call.data.size() < wanted) {
    const std::size_t n = std::min(bytes.size(), wanted - call.data.size());
    call.data.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
    if (call.data.size() == kMessagePrefixBytes) {
      const auto* p = reinterpret_cast<const unsigned char*>(call.data.data());
      const std::size_t length = (std::size_t{p[1]} << 24) | (std::size_t{p[2]} << 16) | (std::size_t{p[3]} << 8) | p[4];
      if (length > wire::kMaxMessageBytes) {
        call.failure = wire::decoded_message_too_large(length, wire::kMaxMessageBytes);
        return;
      }
      wanted += length;
      call.data.reserve(wanted);
    }
  }
  // Bytes after the first message are not kept: a unary answer holds one.
}

}  // namespace

struct Http2Connection::Callbacks {
  static Http2Connection& self(void* user_data) { return *static_cast<Http2Connection*>(user_data); }

  static UnaryCall* call_of(Http2Connection& connection, std::int32_t stream_id) {
    const auto found = connection.streams_.find(stream_id);
    return found == connection.streams_.end() ? nullptr : found->second.get();
  }

  static int on_header(nghttp2_session*, const nghttp2_frame* frame, const std::uint8_t* name, std::size_t name_length,
                       const std::uint8_t* value, std::size_t value_length, std::uint8_t, void* user_data) {
    if (frame->hd.type != NGHTTP2_HEADERS) return 0;
    UnaryCall* call = call_of(self(user_data), frame->hd.stream_id);
    if (!call) return 0;
    const std::string_view key = view(name, name_length);
    const std::string_view text = view(value, value_length);
    if (key == ":status") {
      int status = 0;
      for (char c : text) status = (c >= '0' && c <= '9' && status < 1000) ? status * 10 + (c - '0') : 1000;
      call->http_status = status;
    } else if (key == "grpc-status") {
      // At most three digits are read: a longer value is no status code
      // (and must not overflow on the way).
      int code = 0;
      bool valid = !text.empty() && text.size() <= 3;
      for (std::size_t i = 0; valid && i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') valid = false;
        else code = code * 10 + (text[i] - '0');
      }
      call->grpc_status = valid ? code : static_cast<int>(GrpcCode::Unknown);
    } else if (key == "grpc-message") {
      call->grpc_message.assign(text);
    }
    return 0;
  }

  static int on_data_chunk(nghttp2_session*, std::uint8_t, std::int32_t stream_id, const std::uint8_t* data,
                           std::size_t length, void* user_data) {
    auto& connection = self(user_data);
    UnaryCall* call = call_of(connection, stream_id);
    if (!call) return 0;
    take_data(*call, view(data, length));
    if (call->failure) {
      // Stop the rest of an oversized answer from arriving.
      nghttp2_submit_rst_stream(connection.session_, NGHTTP2_FLAG_NONE, stream_id, NGHTTP2_CANCEL);
    }
    return 0;
  }

  static int on_frame_recv(nghttp2_session*, const nghttp2_frame* frame, void* user_data) {
    if (frame->hd.type == NGHTTP2_GOAWAY) {
      auto& connection = self(user_data);
      connection.going_away_ = true;
      connection.close_if_drained();
    }
    return 0;
  }

  static int on_stream_close(nghttp2_session*, std::int32_t stream_id, std::uint32_t error_code, void* user_data) {
    self(user_data).stream_closed(stream_id, error_code);
    return 0;
  }

  static ssize_t read_body(nghttp2_session*, std::int32_t, std::uint8_t* buffer, std::size_t length,
                           std::uint32_t* data_flags, nghttp2_data_source* source, void*) {
    auto* call = static_cast<UnaryCall*>(source->ptr);
    const std::string& body = call->request.framed_message;
    const std::size_t n = std::min(length, body.size() - call->body_sent);
    std::memcpy(buffer, body.data() + call->body_sent, n);
    call->body_sent += n;
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
  // coroutine starts later, when the strand first runs it. The preface and
  // SETTINGS go out from the strand too.
  asio::co_spawn(connection->strand_, connection->read_loop(connection), asio::detached);
  asio::post(connection->strand_, [connection] { connection->flush(); });
  return connection;
}

Http2Connection::Http2Connection(Strand strand, Transport transport, std::string authority, std::string scheme)
    : strand_(std::move(strand)),
      transport_(std::move(transport)),
      authority_(std::move(authority)),
      scheme_(std::move(scheme)),
      read_buffer_(kReadChunk) {}

Http2Connection::~Http2Connection() {
  if (session_) nghttp2_session_del(session_);
}

bool Http2Connection::init_session() {
  nghttp2_session_callbacks* callbacks = nullptr;
  if (nghttp2_session_callbacks_new(&callbacks) != 0) return false;
  nghttp2_session_callbacks_set_on_header_callback(callbacks, &Callbacks::on_header);
  nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, &Callbacks::on_data_chunk);
  nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &Callbacks::on_frame_recv);
  nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, &Callbacks::on_stream_close);
  const int rv = nghttp2_session_client_new(&session_, callbacks, this);
  nghttp2_session_callbacks_del(callbacks);
  if (rv != 0) return false;
  const nghttp2_settings_entry settings[] = {
      {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
      {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, static_cast<std::uint32_t>(kStreamWindow)},
  };
  if (nghttp2_submit_settings(session_, NGHTTP2_FLAG_NONE, settings, std::size(settings)) != 0) return false;
  return nghttp2_session_set_local_window_size(session_, NGHTTP2_FLAG_NONE, 0, kConnectionWindow) == 0;
}

void Http2Connection::submit(const std::shared_ptr<UnaryCall>& call) {
  if (!usable()) {
    call->finish(fail(grpc_status(GrpcCode::Unavailable, close_reason_.empty() ? "connection is going away" : close_reason_)));
    return;
  }
  const std::string timeout = grpc_timeout_text(call->request.timeout);
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
  const std::int32_t stream_id = nghttp2_submit_request(session_, nullptr, headers.data(), headers.size(), &body, call.get());
  if (stream_id < 0) {
    // Out of stream ids (or memory): this connection takes no more calls.
    going_away_ = true;
    call->finish(fail(grpc_status(GrpcCode::Unavailable, std::string("cannot open a stream: ") + nghttp2_strerror(stream_id))));
    return;
  }
  call->stream_id = stream_id;
  call->connection = weak_from_this();
  streams_.emplace(stream_id, call);
  flush();
}

void Http2Connection::reset(UnaryCall& call) {
  if (closed_ || call.stream_id < 0 || !streams_.contains(call.stream_id)) return;
  nghttp2_submit_rst_stream(session_, NGHTTP2_FLAG_NONE, call.stream_id, NGHTTP2_CANCEL);
  flush();
}

void Http2Connection::stream_closed(std::int32_t stream_id, std::uint32_t error_code) {
  const auto found = streams_.find(stream_id);
  if (found == streams_.end()) return;
  closed_streams_.emplace_back(std::move(found->second), error_code);
  streams_.erase(found);
}

void Http2Connection::finish_closed_streams(bool last_here) {
  while (!closed_streams_.empty()) {
    auto closed = std::move(closed_streams_);
    closed_streams_.clear();
    for (std::size_t i = 0; i < closed.size(); ++i) {
      auto& [call, error_code] = closed[i];
      if (call->finished) continue;
      CallOutcome outcome = outcome_of(*call, error_code);
      if (last_here && i + 1 == closed.size() && closed_streams_.empty()) {
        // The connection's own state is settled first: the caller's code
        // may run right here and open the next call.
        close_if_drained();
        call->finish_here(std::move(outcome));
      } else {
        call->finish(std::move(outcome));
      }
    }
  }
  close_if_drained();
}

void Http2Connection::close_if_drained() {
  if (going_away_ && streams_.empty()) close("connection is going away");
}

void Http2Connection::close(const std::string& reason) {
  if (closed_) return;
  closed_ = true;
  close_reason_ = reason;
  auto streams = std::move(streams_);
  streams_.clear();
  for (auto& [id, call] : streams) call->finish(fail(grpc_status(GrpcCode::Unavailable, reason)));
  transport_.close();  // a write under way ends with operation_aborted
}

struct Http2Connection::WriteDone {
  std::shared_ptr<Http2Connection> self;

  using executor_type = Strand;
  executor_type get_executor() const noexcept { return self->strand_; }
  void operator()(asio::error_code ec, std::size_t) const { self->on_written(ec); }
  // The completion of a write is this worker's own next step: it stays in
  // the worker's queue instead of waking another worker for it.
  friend bool asio_handler_is_continuation(WriteDone*) { return true; }
};

void Http2Connection::flush() {
  write_pending();
  // Sending a reset closes its stream.
  finish_closed_streams(false);
}

void Http2Connection::write_pending() {
  if (writing_ || closed_) return;
  write_buffer_.clear();
  while (write_buffer_.size() < kWriteChunk) {
    const std::uint8_t* data = nullptr;
    const ssize_t n = nghttp2_session_mem_send(session_, &data);
    if (n < 0) {
      close(std::string("HTTP/2 protocol error: ") + nghttp2_strerror(static_cast<int>(n)));
      break;
    }
    if (n == 0) break;
    write_buffer_.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(n));
  }
  if (closed_) return;
  if (write_buffer_.empty()) {
    if (!nghttp2_session_want_read(session_) && !nghttp2_session_want_write(session_)) close("connection closed");
    return;
  }
  writing_ = true;
  transport_.async_write(asio::buffer(write_buffer_), WriteDone{shared_from_this()});
}

void Http2Connection::on_written(asio::error_code ec) {
  writing_ = false;
  if (closed_) return;
  if (ec) {
    close("connection lost: " + common::io_error_from(ec).text);
    return;
  }
  flush();
}

asio::awaitable<void> Http2Connection::read_loop(std::shared_ptr<Http2Connection> self) {
  (void)self;  // named: GCC 12 mishandles unnamed coroutine parameters
  while (!closed_) {
    asio::error_code ec;
    const std::size_t n = co_await transport_.read_some(asio::buffer(read_buffer_), ec);
    if (closed_) break;
    if (ec) {
      close(ec == asio::error::eof ? std::string("connection closed by the server")
                                   : "connection lost: " + common::io_error_from(ec).text);
      break;
    }
    const ssize_t consumed = nghttp2_session_mem_recv(session_, read_buffer_.data(), n);
    if (consumed < 0) close(std::string("HTTP/2 protocol error: ") + nghttp2_strerror(static_cast<int>(consumed)));
    write_pending();  // acknowledgements, window updates, resets
    finish_closed_streams(true);
  }
}

}  // namespace revizer::client
