#pragma once

// The connected client: its state (channel, interceptor, limits) and the
// adjudication timeout, immutable once built. Python objects and calls in
// flight share it by reference counting; the channel closes with the last
// reference to it and to the state copies of calls in flight.
//
// A client belongs to the process that connected it. In a child made by
// fork() its connection and the runtime that served it are the parent's:
// calls fail at once (`made_before_fork`), and releasing it there leaves
// its state alone rather than close or write to a connection the parent
// still uses.

#include <asio/awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "revizer/client/client_state.h"
#include "revizer/client/connect/connect.h"
#include "revizer/client/runtime/runtime.h"

namespace revizer::client {

inline constexpr const char* kAdjudicatesPath = "/tavimor.revizer.v1.RevizerService/Adjudicates";

// The clock of call deadlines.
using CallClock = std::chrono::steady_clock;

class RevizerGrpcClient {
 public:
  using Connected = Result<std::shared_ptr<const RevizerGrpcClient>, RevizerClientError>;

  RevizerGrpcClient(ClientState state, std::chrono::milliseconds timeout)
      : state_(std::make_unique<const ClientState>(std::move(state))), adjudicates_timeout_(timeout) {}
  ~RevizerGrpcClient();
  RevizerGrpcClient(const RevizerGrpcClient&) = delete;
  RevizerGrpcClient& operator=(const RevizerGrpcClient&) = delete;

  static asio::awaitable<Connected> connect(ConnectOptions options, std::chrono::milliseconds timeout);

  ClientState read_state() const { return state_->clone(); }
  // The runtime worker that serves this client's connection: a task of
  // this client spawned there makes its calls without handing them to
  // another thread.
  asio::any_io_executor executor() const { return state_->channel->channel().executor(); }
  std::chrono::milliseconds adjudicates_timeout() const { return adjudicates_timeout_; }
  bool made_before_fork() const { return fork_generation_ != fork_generation(); }

  // One Adjudicates call: `framed_request` is the encoded request behind its
  // 5-byte prefix; the outcome is the answer message or a status. Its
  // deadline is `deadline`, or `timeout` from now.
  static asio::awaitable<CallOutcome> call_adjudicates(ClientState state, std::string framed_request,
                                                       CallClock::time_point deadline);
  static asio::awaitable<CallOutcome> call_adjudicates(ClientState state, std::string framed_request,
                                                       std::chrono::milliseconds timeout);

 private:
  std::unique_ptr<const ClientState> state_;
  std::chrono::milliseconds adjudicates_timeout_;
  std::uint64_t fork_generation_ = fork_generation();
};

}  // namespace revizer::client
