#pragma once

// Tells a connection whose requests stopped going out from one that is only
// slow. Two things hold request bytes back: the peer's TCP window (a write
// that does not finish) and its HTTP/2 flow-control windows (request bytes
// the session keeps while a window is closed). Either is a stall once no
// byte has moved for the bound while something waits to go; any byte that
// moves, a part of a large write included, starts the count again. Bytes
// that move the other way do not count: a peer that sends PINGs but reads
// nothing, or reads and answers PINGs but grants no window, makes no
// progress with our calls.
//
// A window also stays closed while what it allowed is still on its way over
// a slow link. So a closed window counts only once the peer has answered a
// PING sent after it closed: the peer has then read every byte before it.
// A PING left unanswered, with nothing else heard from the peer, ends the
// connection by itself (the ping bound).
//
// The connection looks now and then (every period, with one timer for the
// whole connection, only while streams are open or a write is under way),
// so the path that sends takes no clock beyond the start of each write and
// a count of the request bytes the session takes.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

namespace revizer::client {

class ProgressWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // What a look finds: nothing to do, a PING to send (see above), or a stall.
  enum class Verdict { None, Ping, StalledWrites, StalledWindow };

  explicit ProgressWatch(std::chrono::milliseconds bound) : bound_(bound) {}

  std::chrono::milliseconds bound() const { return bound_; }
  // A look every tenth of the bound: a stall is found within the bound, two
  // periods and, for a window, a PING's round trip of its start.
  Clock::duration period() const { return std::max<Clock::duration>(bound_ / 10, std::chrono::milliseconds(1)); }

  // The counts of the connection's PINGs that a look compares.
  struct Pings {
    std::uint64_t sent = 0;
    std::uint64_t answered = 0;  // answers arrive in the order the PINGs went
  };

  // One look. `write_moved_at`: when the write under way started or last
  // moved a byte (nothing when no write is under way). `request_bytes_taken`
  // grows with every request byte the session takes. `held_by_window()`
  // tells whether request bytes wait for a closed window; it is asked only
  // when no request byte was taken since the last look. After a Ping
  // verdict the caller sends one PING (and counts it in `pings.sent`).
  template <class HeldByWindow>
  Verdict look(Clock::time_point now, std::optional<Clock::time_point> write_moved_at, std::uint64_t request_bytes_taken,
               Pings pings, HeldByWindow&& held_by_window) {
    if (write_moved_at && now - *write_moved_at >= bound_) return Verdict::StalledWrites;
    if (request_bytes_taken != taken_seen_ || !held_by_window()) {
      taken_seen_ = request_bytes_taken;
      ping_awaited_.reset();
      window_quiet_since_.reset();
      return Verdict::None;
    }
    if (!ping_awaited_) {
      ping_awaited_ = pings.sent + 1;
      return Verdict::Ping;
    }
    if (pings.answered < *ping_awaited_) return Verdict::None;
    // Only what was seen counts: held at this look, all sent bytes read by
    // the peer, and nothing taken since the first look that saw both.
    if (!window_quiet_since_) window_quiet_since_ = now;
    return now - *window_quiet_since_ >= bound_ ? Verdict::StalledWindow : Verdict::None;
  }

 private:
  std::chrono::milliseconds bound_;
  std::uint64_t taken_seen_ = 0;
  std::optional<std::uint64_t> ping_awaited_;  // the count of PINGs whose answer shows the window closed
  std::optional<Clock::time_point> window_quiet_since_;
};

}  // namespace revizer::client
