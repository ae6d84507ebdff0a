#pragma once

// The time of an event: a UTC instant with nanosecond precision, its RFC 3339
// text in both directions, and its seconds/nanos form for the wire.
//
//   auto t = parse_rfc3339("2024-05-01 10:00:00.5+02:00");   // relaxed reading
//   format_rfc3339(*t)              -> "2024-05-01T08:00:00.500Z"
//   format_rfc3339_utc_offset(*t)   -> "2024-05-01T08:00:00.500+00:00"
//   to_wire_timestamp(*t)           -> {seconds since the epoch, nanos}
//
// Leap seconds: a text whose second is 60 is held as second 59 of its minute
// with a sub-second count of 1,000,000,000 or more (the excess is the
// fraction of the leap second). Formatting prints it as second 60 again, and
// the wire carries the count unchanged.
//
// Years run from kMinYear to kMaxYear (proleptic Gregorian, year 0 exists);
// years outside 0..9999 are written with an explicit sign.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/result.h"

namespace revizer::event {

// Why a text is not a timestamp; `message()` gives the text users see.
enum class TimestampError : std::uint8_t {
  InvalidCharacters,  // a character where another is due
  PrematureEnd,       // the text ends early
  TrailingInput,      // more than white space after the offset
  OutOfRange,         // a field beyond its range, or a date beyond the calendar
};

class Timestamp {
 public:
  // Wide enough for any real instant and for what signed-year texts can
  // name, narrow enough that no day or second count can overflow.
  static constexpr std::int64_t kMinYear = -262143;
  static constexpr std::int64_t kMaxYear = 262142;
  static constexpr std::uint32_t kNanosPerSecond = 1'000'000'000;

  // 1970-01-01T00:00:00Z.
  constexpr Timestamp() noexcept = default;

  // The instant `seconds` after the epoch (leap seconds not counted) plus
  // `nanos`. A count of 1e9 or more is a leap second and is accepted only on
  // second 59 of a minute. Empty when outside the calendar's years.
  static std::optional<Timestamp> from_unix(std::int64_t seconds, std::uint32_t nanos) noexcept;

  // The wall clock, to its own sub-second resolution.
  static Timestamp now() noexcept;

  std::int64_t unix_seconds() const noexcept { return seconds_; }
  // 0..999,999,999, or up to 1,999,999,999 inside a leap second.
  std::uint32_t nanos() const noexcept { return nanos_; }
  bool in_leap_second() const noexcept { return nanos_ >= kNanosPerSecond; }

  // Same instant to the nanosecond. A leap second sorts after second 59 and
  // before the next minute.
  friend bool operator==(const Timestamp&, const Timestamp&) = default;
  friend auto operator<=>(const Timestamp&, const Timestamp&) = default;

 private:
  constexpr Timestamp(std::int64_t seconds, std::uint32_t nanos) noexcept : seconds_(seconds), nanos_(nanos) {}

  std::int64_t seconds_ = 0;
  std::uint32_t nanos_ = 0;
};

// "input contains invalid characters", "premature end of input",
// "trailing input", "input is out of range".
std::string_view message(TimestampError error) noexcept;

// Relaxed RFC 3339: a date (year of one to four digits, or a sign and any
// digits; one- or two-digit month and day), one "T", "t" or space, the time
// (one- or two-digit fields, an optional fraction of which the first nine
// digits count), then "Z", "z", "UTC" in any case or a numeric offset
// (sign "+", "-" or U+2212, two-digit hours, any run of ":" and white space,
// two-digit minutes). Unicode White_Space may stand before every number and
// separator of the date and time, before the offset and at the end.
Result<Timestamp, TimestampError> parse_rfc3339(std::string_view text);
// The same reading without the shortcut for the written form: the yardstick
// that the shortcut is fuzzed against.
Result<Timestamp, TimestampError> parse_rfc3339_general(std::string_view text);

// The written form of a timestamp, held in place: no allocation for a text
// that a caller copies once anyway. The longest, "-262143-01-01T00:00:00.000000001+00:00",
// has 38 characters.
class TimestampText {
 public:
  std::string_view view() const noexcept { return {chars_, size_}; }
  void push_back(char c) noexcept { chars_[size_++] = c; }
  void append(std::string_view text) noexcept {
    for (char c : text) push_back(c);
  }

 private:
  char chars_[40];
  std::size_t size_ = 0;
};

// The JSON form: "2025-03-04T05:06:07.120Z", the fraction as 0, 3, 6 or 9
// digits (the fewest that hold it exactly).
std::string format_rfc3339(const Timestamp& t);
TimestampText rfc3339_text(const Timestamp& t);
// The same text ending in "+00:00" instead of "Z".
std::string format_rfc3339_utc_offset(const Timestamp& t);

// The protobuf Timestamp of the wire: seconds since the epoch and nanos. A
// leap second keeps its count of 1e9 or more in `nanos` (second 59 plus
// more than a second) instead of rolling into the next second.
struct WireTimestamp {
  std::int64_t seconds = 0;
  std::int32_t nanos = 0;
  friend bool operator==(const WireTimestamp&, const WireTimestamp&) = default;
};
WireTimestamp to_wire_timestamp(const Timestamp& t) noexcept;

}  // namespace revizer::event
