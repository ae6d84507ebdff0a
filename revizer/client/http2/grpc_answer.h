#pragma once

// The reading of one unary gRPC answer from its stream's frames: what the
// response headers and trailers say about the outcome, the one message of
// its DATA, and the outcome once the stream has closed. The connection's
// session callbacks feed it; it knows nothing of the session.

#include <cstdint>
#include <string_view>

#include "revizer/client/http2/unary_call.h"

namespace revizer::client {

// "application/grpc", alone or followed by "+" (a subtype) or ";" (parameters).
bool is_grpc_content_type(std::string_view type);

// Keeps what the answer's headers and trailers say about its outcome.
void take_answer_header(UnaryCall& call, std::string_view key, std::string_view text);

// Called once each header block of the answer has ended: an informational
// (1xx) head is forgotten; the response head decides whether the DATA that
// follow are gRPC messages (":status" 200 and a gRPC content type) or a
// body to be dropped unread, such as a proxy's error page.
void end_answer_header_block(UnaryCall& call);

// Appends answer bytes to the one message a unary answer holds; refuses a
// message over the limit as soon as its prefix is known, and any byte
// after the message (a second one, or stray bytes). The body of an answer
// that is not gRPC is dropped: its HTTP status or content type tells the
// outcome, whatever its size.
void take_answer_data(UnaryCall& call, std::string_view bytes);

// What the answer of a closed stream amounts to; `error_code` is the
// stream's HTTP/2 error code (NO_ERROR for a clean end).
CallOutcome answer_outcome(UnaryCall& call, std::uint32_t error_code);

}  // namespace revizer::client
