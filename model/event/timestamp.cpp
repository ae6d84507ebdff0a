#include "model/event/timestamp.h"

#include <chrono>

#include "text/properties.h"
#include "text/utf8_bytes.h"

namespace revizer::event {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b) { return a - floor_div(a, b) * b; }

// Days from 1970-01-01 to the given proleptic Gregorian date, and back, by
// counting 400-year eras from 0000-03-01 (the well-known civil-calendar
// algorithms; std::chrono::year stops at +-32767, too narrow here).
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = floor_div(y, 400);
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146'097 + static_cast<std::int64_t>(doe) - 719'468;
}

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

constexpr CivilDate civil_from_days(std::int64_t z) {
  z += 719'468;
  const std::int64_t era = floor_div(z, 146'097);
  const auto doe = static_cast<unsigned>(z - era * 146'097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

constexpr bool is_leap_year(std::int64_t y) { return floor_mod(y, 4) == 0 && (floor_mod(y, 100) != 0 || floor_mod(y, 400) == 0); }

constexpr unsigned days_in_month(std::int64_t y, unsigned m) {
  constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
}

constexpr std::int64_t kMinSeconds = days_from_civil(Timestamp::kMinYear, 1, 1) * kSecondsPerDay;
constexpr std::int64_t kMaxSeconds = days_from_civil(Timestamp::kMaxYear, 12, 31) * kSecondsPerDay + kSecondsPerDay - 1;

static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(days_from_civil(2000, 3, 1) == 11'017);
static_assert(civil_from_days(-1).year == 1969 && civil_from_days(-1).month == 12 && civil_from_days(-1).day == 31);

// --- reading ------------------------------------------------------------------

// The fields of a text as written, checked against the calendar only once
// the whole text has the right shape.
struct Fields {
  std::int64_t year = 0;
  bool year_overflow = false;
  unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::uint32_t nanos = 0;
  int offset_sign = 1;
  unsigned offset_hours = 0, offset_minutes = 0;
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool at_end() const { return i_ == text_.size(); }

  void skip_white_space() {
    while (!at_end()) {
      const std::size_t n = white_space_length();
      if (n == 0) return;
      i_ += n;
    }
  }

  // Looks at the next byte without taking it. Call only when not at_end().
  char peek() const { return text_[i_]; }
  void advance(std::size_t n = 1) { i_ += n; }
  bool next_is_digit() const { return !at_end() && is_digit(peek()); }

  // What is wrong where something else is due: the text stops there, or
  // holds another character.
  TimestampError unexpected() const {
    return at_end() ? TimestampError::PrematureEnd : TimestampError::InvalidCharacters;
  }

  // The byte length of a White_Space character at the cursor, or 0.
  std::size_t white_space_length() const {
    const auto lead = static_cast<unsigned char>(text_[i_]);
    if (lead < 0x80) return lead == ' ' || (lead >= '\t' && lead <= '\r') ? 1 : 0;
    const unicode::Decoded d = unicode::decode_utf8_at(text_, i_);
    return d.length != 0 && unicode::is_white_space(d.code_point) ? d.length : 0;
  }

  // The U+2212 minus sign at the cursor, as its three UTF-8 bytes.
  bool take_minus_sign() {
    if (text_.substr(i_, 3) != "\xE2\x88\x92") return false;
    i_ += 3;
    return true;
  }

  // Between `min_digits` and `max_digits` digits. The first missing digit
  // is a premature end when the text stops there, an invalid character
  // otherwise.
  Status<TimestampError> digits(unsigned min_digits, unsigned max_digits, unsigned& out) {
    out = 0;
    for (unsigned n = 0; n < max_digits; ++n) {
      if (!next_is_digit()) {
        if (n >= min_digits) break;
        return fail(unexpected());
      }
      out = out * 10 + static_cast<unsigned>(peek() - '0');
      advance();
    }
    return Ok{};
  }

  // Optional white space, then the character `c`.
  Status<TimestampError> separator(char c) {
    skip_white_space();
    if (at_end() || peek() != c) return fail(unexpected());
    advance();
    return Ok{};
  }

  // Optional white space, then one or two digits.
  Status<TimestampError> field(unsigned& out) {
    skip_white_space();
    return digits(1, 2, out);
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

 private:
  std::string_view text_;
  std::size_t i_ = 0;
};

// Returns the error of a step that failed.
#define TRY(expr)                                                     \
  do {                                                                \
    if (auto status_ = (expr); !status_) return fail(status_.error()); \
  } while (false)

Status<TimestampError> read_year(Scanner& s, Fields& f) {
  s.skip_white_space();
  if (s.at_end()) return fail(TimestampError::PrematureEnd);
  const char c = s.peek();
  if (c != '+' && c != '-') {
    unsigned year = 0;
    TRY(s.digits(1, 4, year));
    f.year = year;
    return Ok{};
  }
  // A signed year takes any number of digits; one too large for the
  // calendar is out of range, judged once the text has been read.
  s.advance();
  if (!s.next_is_digit()) return fail(s.unexpected());
  std::int64_t magnitude = 0;
  while (s.next_is_digit()) {
    if (magnitude > Timestamp::kMaxYear) {
      f.year_overflow = true;
    } else {
      magnitude = magnitude * 10 + (s.peek() - '0');
    }
    s.advance();
  }
  f.year = c == '-' ? -magnitude : magnitude;
  return Ok{};
}

// "." and one or more digits, directly after the seconds; digits after the
// ninth are read and ignored.
Status<TimestampError> read_fraction(Scanner& s, Fields& f) {
  if (s.at_end() || s.peek() != '.') return Ok{};
  s.advance();
  if (!s.next_is_digit()) return fail(s.unexpected());
  std::uint32_t scale = Timestamp::kNanosPerSecond;
  while (s.next_is_digit()) {
    if (scale > 1) {
      scale /= 10;
      f.nanos += static_cast<std::uint32_t>(s.peek() - '0') * scale;
    }
    s.advance();
  }
  return Ok{};
}

Status<TimestampError> read_offset(Scanner& s, Fields& f) {
  s.skip_white_space();
  if (s.at_end()) return fail(TimestampError::PrematureEnd);
  const char c = s.peek();
  if (c == 'Z' || c == 'z') {
    s.advance();
    return Ok{};
  }
  if (c == 'U' || c == 'u') {
    s.advance();
    for (const char letter : {'t', 'c'}) {
      if (s.at_end() || (s.peek() | 0x20) != letter) return fail(s.unexpected());
      s.advance();
    }
    return Ok{};
  }
  if (c == '+' || c == '-') {
    s.advance();
    f.offset_sign = c == '-' ? -1 : 1;
  } else if (s.take_minus_sign()) {
    f.offset_sign = -1;
  } else {
    return fail(TimestampError::InvalidCharacters);
  }
  TRY(s.digits(2, 2, f.offset_hours));
  while (!s.at_end()) {
    if (s.peek() == ':') {
      s.advance();
      continue;
    }
    const std::size_t n = s.white_space_length();
    if (n == 0) break;
    s.advance(n);
  }
  return s.digits(2, 2, f.offset_minutes);
}

Status<TimestampError> read_fields(std::string_view text, Fields& f) {
  Scanner s(text);
  TRY(read_year(s, f));
  TRY(s.separator('-'));
  TRY(s.field(f.month));
  TRY(s.separator('-'));
  TRY(s.field(f.day));
  // Exactly one separator, with nothing before it.
  if (s.at_end() || (s.peek() != 'T' && s.peek() != 't' && s.peek() != ' ')) return fail(s.unexpected());
  s.advance();
  TRY(s.field(f.hour));
  TRY(s.separator(':'));
  TRY(s.field(f.minute));
  TRY(s.separator(':'));
  TRY(s.field(f.second));
  TRY(read_fraction(s, f));
  TRY(read_offset(s, f));
  s.skip_white_space();
  if (!s.at_end()) return fail(TimestampError::TrailingInput);
  return Ok{};
}

#undef TRY

// The form this system writes ("2025-03-01T12:00:00.250Z"), which is also the
// usual input, read without the general scanner into the same fields; false
// for any other shape, which read_fields then takes.
bool read_written_form(std::string_view t, Fields& f) {
  auto digit = [&](std::size_t i) { return t[i] >= '0' && t[i] <= '9'; };
  auto number = [&](std::size_t at, std::size_t width, unsigned& out) {
    out = 0;
    for (std::size_t i = at; i < at + width; ++i) {
      if (!digit(i)) return false;
      out = out * 10 + static_cast<unsigned>(t[i] - '0');
    }
    return true;
  };
  unsigned year = 0;
  if (t.size() < 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
      !number(0, 4, year) || !number(5, 2, f.month) || !number(8, 2, f.day) || !number(11, 2, f.hour) ||
      !number(14, 2, f.minute) || !number(17, 2, f.second))
    return false;
  f.year = year;
  std::size_t i = 19;
  if (t[i] == '.') {
    const std::size_t first = ++i;
    std::uint32_t scale = Timestamp::kNanosPerSecond;
    for (; i < t.size() && digit(i); ++i) {
      if (scale > 1) {
        scale /= 10;
        f.nanos += static_cast<std::uint32_t>(t[i] - '0') * scale;
      }
    }
    if (i == first) return false;
  }
  return i + 1 == t.size() && t[i] == 'Z';
}

bool year_in_calendar(std::int64_t year) { return year >= Timestamp::kMinYear && year <= Timestamp::kMaxYear; }

// --- writing ------------------------------------------------------------------

void append_digits(TimestampText& out, std::uint64_t n, int width) {
  char buffer[20];
  int len = 0;
  do {
    buffer[len++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (int pad = len; pad < width; ++pad) out.push_back('0');
  while (len > 0) out.push_back(buffer[--len]);
}

TimestampText format_with(const Timestamp& t, std::string_view zone) {
  const std::int64_t days = floor_div(t.unix_seconds(), kSecondsPerDay);
  const auto second_of_day = static_cast<unsigned>(floor_mod(t.unix_seconds(), kSecondsPerDay));
  const unsigned hour = second_of_day / 3600;
  const unsigned minute = second_of_day / 60 % 60;
  unsigned second = second_of_day % 60;
  std::uint32_t nanos = t.nanos();
  if (t.in_leap_second()) {
    // Held as second 59 (see from_unix), printed as second 60.
    second += 1;
    nanos -= Timestamp::kNanosPerSecond;
  }
  const CivilDate date = civil_from_days(days);

  TimestampText out;
  if (date.year >= 0 && date.year <= 9999) {
    append_digits(out, static_cast<std::uint64_t>(date.year), 4);
  } else {
    out.push_back(date.year < 0 ? '-' : '+');
    append_digits(out, static_cast<std::uint64_t>(date.year < 0 ? -date.year : date.year), 4);
  }
  out.push_back('-');
  append_digits(out, date.month, 2);
  out.push_back('-');
  append_digits(out, date.day, 2);
  out.push_back('T');
  append_digits(out, hour, 2);
  out.push_back(':');
  append_digits(out, minute, 2);
  out.push_back(':');
  append_digits(out, second, 2);
  if (nanos != 0) {
    out.push_back('.');
    if (nanos % 1'000'000 == 0) {
      append_digits(out, nanos / 1'000'000, 3);
    } else if (nanos % 1'000 == 0) {
      append_digits(out, nanos / 1'000, 6);
    } else {
      append_digits(out, nanos, 9);
    }
  }
  out.append(zone);
  return out;
}

}  // namespace

std::optional<Timestamp> Timestamp::from_unix(std::int64_t seconds, std::uint32_t nanos) noexcept {
  if (seconds < kMinSeconds || seconds > kMaxSeconds) return std::nullopt;
  if (nanos >= 2 * kNanosPerSecond) return std::nullopt;
  if (nanos >= kNanosPerSecond && floor_mod(seconds, 60) != 59) return std::nullopt;
  return Timestamp(seconds, nanos);
}

Timestamp Timestamp::now() noexcept {
  const auto since_epoch =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const std::int64_t per_second = kNanosPerSecond;
  return Timestamp(floor_div(since_epoch, per_second), static_cast<std::uint32_t>(floor_mod(since_epoch, per_second)));
}

std::string_view message(TimestampError error) noexcept {
  switch (error) {
    case TimestampError::InvalidCharacters: return "input contains invalid characters";
    case TimestampError::PrematureEnd: return "premature end of input";
    case TimestampError::TrailingInput: return "trailing input";
    case TimestampError::OutOfRange: return "input is out of range";
  }
  return "";
}

namespace {

Result<Timestamp, TimestampError> timestamp_of(const Fields& f) {
  if (f.year_overflow || !year_in_calendar(f.year) || f.month < 1 || f.month > 12 || f.day < 1 ||
      f.day > days_in_month(f.year, f.month) || f.hour > 23 || f.minute > 59 || f.second > 60 ||
      f.offset_hours > 23 || f.offset_minutes > 59)
    return fail(TimestampError::OutOfRange);

  const bool leap = f.second == 60;
  const std::int64_t offset = f.offset_sign * static_cast<std::int64_t>(f.offset_hours * 3600 + f.offset_minutes * 60);
  const std::int64_t local = days_from_civil(f.year, f.month, f.day) * kSecondsPerDay + f.hour * 3600 + f.minute * 60 +
                             (leap ? 59 : f.second);
  auto t = Timestamp::from_unix(local - offset, f.nanos + (leap ? Timestamp::kNanosPerSecond : 0));
  if (!t) return fail(TimestampError::OutOfRange);
  return *t;
}

}  // namespace

Result<Timestamp, TimestampError> parse_rfc3339(std::string_view text) {
  Fields f;
  if (read_written_form(text, f)) return timestamp_of(f);
  f = Fields{};
  if (auto shape = read_fields(text, f); !shape) return fail(shape.error());
  return timestamp_of(f);
}

Result<Timestamp, TimestampError> parse_rfc3339_general(std::string_view text) {
  Fields f;
  if (auto shape = read_fields(text, f); !shape) return fail(shape.error());
  return timestamp_of(f);
}

TimestampText rfc3339_text(const Timestamp& t) { return format_with(t, "Z"); }

std::string format_rfc3339(const Timestamp& t) { return std::string(rfc3339_text(t).view()); }

std::string format_rfc3339_utc_offset(const Timestamp& t) { return std::string(format_with(t, "+00:00").view()); }

WireTimestamp to_wire_timestamp(const Timestamp& t) noexcept {
  return {t.unix_seconds(), static_cast<std::int32_t>(t.nanos())};
}

}  // namespace revizer::event
