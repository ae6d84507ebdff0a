#pragma once

// Pieces of the channel tests: a loopback peer that stalls on purpose (it
// accepts and either sends an HTTP/2 SETTINGS frame and then nothing more,
// or nothing at all), single calls with their own timeout, and the count of
// the process's open descriptors.

#include <gtest/gtest.h>

#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/write.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/cpp/client/client_fixture.h"
#include "tests/peers/loopback_server.h"

namespace revizer::client::test_support {

class StallingPeer {
 public:
  enum class Mode {
    Settings,  // a SETTINGS frame (granting `streams` streams when set), then silence
    Silent,    // silence from the start: no HTTP/2 handshake, no TLS handshake
  };

  explicit StallingPeer(Mode mode, std::uint32_t streams = 0)
      : mode_(mode), streams_(streams), server_([this](asio::ip::tcp::socket socket) { return session(std::move(socket)); }) {}

  std::uint16_t port() const { return server_.port(); }
  std::string endpoint(const char* scheme = "http") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port());
  }
  void set_mode(Mode mode) { mode_ = mode; }
  int accepted() const { return accepted_; }
  int ended() const { return ended_; }

  // Closes every connection it holds (the client sees them lost).
  void drop_all() {
    std::promise<void> done;
    asio::post(server_.executor(), [&] {
      for (auto* socket : open_) {
        asio::error_code ignored;
        socket->close(ignored);
      }
      done.set_value();
    });
    done.get_future().wait();
  }

 private:
  asio::awaitable<void> session(asio::ip::tcp::socket socket) {
    ++accepted_;
    open_.insert(&socket);
    asio::error_code ec;
    if (mode_ == Mode::Settings) {
      // The frame header (length, type 4, no flags, stream 0), then
      // SETTINGS_MAX_CONCURRENT_STREAMS when a limit is set.
      std::string frame(9, '\0');
      frame[3] = 4;
      if (streams_ > 0) {
        frame[2] = 6;
        for (const std::uint32_t byte : {0u, 3u, streams_ >> 24, streams_ >> 16, streams_ >> 8, streams_}) {
          frame.push_back(static_cast<char>(byte & 0xff));
        }
      }
      co_await asio::async_write(socket, asio::buffer(frame), asio::redirect_error(asio::use_awaitable, ec));
    }
    std::array<char, 4096> sink;
    while (!ec) co_await socket.async_read_some(asio::buffer(sink), asio::redirect_error(asio::use_awaitable, ec));
    open_.erase(&socket);
    ++ended_;
  }

  std::atomic<Mode> mode_;
  std::uint32_t streams_;
  std::atomic<int> accepted_{0};
  std::atomic<int> ended_{0};
  std::set<asio::ip::tcp::socket*> open_;  // on the server's thread only
  peers::LoopbackServer server_;           // last: its sessions use the members above
};

// Waits until `done()` holds, at most `patience`; tells whether it held.
inline bool eventually(const std::function<bool()>& done, std::chrono::milliseconds patience) {
  const auto give_up = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

inline std::size_t open_descriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

inline std::string framed_request(const std::string& trajectory) {
  std::string framed;
  EXPECT_TRUE(wire::AdjudicatesRequest{{event(trajectory)}}.encode(framed));
  return framed;
}

// One Adjudicates call on the client's channel with its own timeout.
inline CallOutcome call_once(const Client& client, const std::string& trajectory, std::chrono::milliseconds timeout) {
  return block_on(client->executor(), unary_call(client->read_state(), kAdjudicatesPath, framed_request(trajectory), timeout));
}

inline std::string outcome_text(const CallOutcome& outcome) {
  if (outcome) return "answered";
  return std::to_string(static_cast<int>(outcome.error().code)) + " " + outcome.error().message;
}

inline std::string connect_error(const RevizerGrpcClient::Connected& connected) {
  return connected ? "<connected>" : text_of(connected.error());
}

}  // namespace revizer::client::test_support
