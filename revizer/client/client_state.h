#pragma once

// What every call of a connected client needs: a handle on the channel's
// queue, the authorization interceptor of the client's mode and the message
// limits. Each call works on its own copy: copying shares the channel, the
// header buffers and the identity-token cache, and takes no lock.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "common/auth/auth_interceptor.h"
#include "revizer/client/channel/channel.h"
#include "revizer/client/http2/grpc_protocol.h"
#include "schema/wire/message_limits.h"

namespace revizer::client {

struct ClientState {
  std::shared_ptr<ChannelHandle> channel;
  common::AuthInterceptor interceptor;
  std::size_t max_request_bytes = wire::kMaxMessageBytes;
  std::size_t max_response_bytes = wire::kMaxMessageBytes;

  ClientState clone() const { return *this; }
};

// One unary call over `state`: the interceptor's metadata (a refused header
// ends the call with its status and nothing is sent), the queue, the stream
// and its deadline, which also bounds a wait for a refreshed identity token.
// A fresh token is read on this thread, without a hop. `framed_message`
// holds the 5-byte prefix and the message. A deadline already passed ends
// the call with "Timeout expired" before anything is sent.
asio::awaitable<CallOutcome> unary_call(ClientState state, std::string path, std::string framed_message,
                                        std::chrono::steady_clock::time_point deadline);
// The same with the deadline `timeout` from now.
asio::awaitable<CallOutcome> unary_call(ClientState state, std::string path, std::string framed_message,
                                        std::chrono::nanoseconds timeout);

}  // namespace revizer::client
