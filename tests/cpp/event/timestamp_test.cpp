// The event timestamp: RFC 3339 reading and writing, leap seconds, signed
// years, the wire's seconds and nanos.
#include "model/event/timestamp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "model/event/timestamp_json.h"
#include "model/json/value.h"

namespace revizer::event {
namespace {

// The text written back, or the reader's error text.
std::string read_back(std::string_view text) {
  auto t = parse_rfc3339(text);
  if (!t) return "error: " + std::string(message(t.error()));
  return format_rfc3339(*t);
}

Timestamp at(std::int64_t seconds, std::uint32_t nanos = 0) {
  auto t = Timestamp::from_unix(seconds, nanos);
  EXPECT_TRUE(t) << seconds << " " << nanos;
  return t.value_or(Timestamp());
}

TEST(Timestamp, WritesFractionAsFewestExactDigitGroups) {
  constexpr std::int64_t s = 1'741'064'767;  // 2025-03-04T05:06:07Z
  struct Case {
    std::uint32_t nanos;
    const char* text;
  };
  const Case cases[] = {
      {0, "2025-03-04T05:06:07Z"},
      {120'000'000, "2025-03-04T05:06:07.120Z"},
      {1'000'000, "2025-03-04T05:06:07.001Z"},
      {123'000, "2025-03-04T05:06:07.000123Z"},
      {120'100'000, "2025-03-04T05:06:07.120100Z"},
      {1, "2025-03-04T05:06:07.000000001Z"},
      {999'999'999, "2025-03-04T05:06:07.999999999Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(format_rfc3339(at(s, c.nanos)), c.text) << c.nanos;
  EXPECT_EQ(format_rfc3339(Timestamp()), "1970-01-01T00:00:00Z");
  EXPECT_EQ(format_rfc3339_utc_offset(at(1'740'830'400, 250'000'000)), "2025-03-01T12:00:00.250+00:00");
}

TEST(Timestamp, ReadsRelaxedForms) {
  struct Case {
    const char* input;
    const char* written;
  };
  const Case cases[] = {
      {"2025-03-04T05:06:07Z", "2025-03-04T05:06:07Z"},
      // Fractions: scaled by their length, digits after the ninth ignored.
      {"2025-03-04T05:06:07.5Z", "2025-03-04T05:06:07.500Z"},
      {"2025-03-04T05:06:07.12Z", "2025-03-04T05:06:07.120Z"},
      {"2025-03-04T05:06:07.000123Z", "2025-03-04T05:06:07.000123Z"},
      {"2025-03-04T05:06:07.000000001Z", "2025-03-04T05:06:07.000000001Z"},
      {"2025-03-04T05:06:07.123456789999Z", "2025-03-04T05:06:07.123456789Z"},
      {"2025-03-04T05:06:07.000000000Z", "2025-03-04T05:06:07Z"},
      // Separators and zones in either case.
      {"2024-05-01 08:00:00Z", "2024-05-01T08:00:00Z"},
      {"2024-05-01t08:00:00z", "2024-05-01T08:00:00Z"},
      {"2024-05-01 08:00:00utc", "2024-05-01T08:00:00Z"},
      {"2024-05-01t08:00:00 uTc ", "2024-05-01T08:00:00Z"},
      // Offsets: subtracted, with or without colons and white space between
      // hours and minutes; U+2212 is a minus sign.
      {"2024-05-01T10:00:00+02:00", "2024-05-01T08:00:00Z"},
      {"2024-05-01 10:00:00+0200", "2024-05-01T08:00:00Z"},
      {"2024-05-01T08:00:00-01:30", "2024-05-01T09:30:00Z"},
      {"2024-05-01T08:00:00\xE2\x88\x92" "01:30", "2024-05-01T09:30:00Z"},
      {"2024-05-01T08:00:00+02 :: 30", "2024-05-01T05:30:00Z"},
      {"2024-05-01T08:00:00-00:00", "2024-05-01T08:00:00Z"},
      {"2024-05-01T08:00:00+23:59", "2024-04-30T08:01:00Z"},
      {"2024-01-01T00:30:00+01:00", "2023-12-31T23:30:00Z"},
      {"2023-12-31T23:30:00-01:00", "2024-01-01T00:30:00Z"},
      // One-digit fields and white space (Unicode's White_Space, not just
      // ASCII) before numbers, separators, the zone and at the end.
      {"1-2-3T4:5:6Z", "0001-02-03T04:05:06Z"},
      {" 2024 - 5 -\t1T 8 : 0 :\n0 Z ", "2024-05-01T08:00:00Z"},
      {"2024-05-01  08:00:00Z", "2024-05-01T08:00:00Z"},
      {"\xC2\xA0" "2024-05-01T08:00:00\xE3\x80\x80Z\xE2\x80\xA8", "2024-05-01T08:00:00Z"},
      // Calendar edges.
      {"2024-02-29T00:00:00Z", "2024-02-29T00:00:00Z"},
      {"2000-02-29T00:00:00Z", "2000-02-29T00:00:00Z"},
      {"1969-12-31T23:59:59.999999999Z", "1969-12-31T23:59:59.999999999Z"},
      // Signed years: any number of digits after the sign.
      {"+2024-05-01T00:00:00Z", "2024-05-01T00:00:00Z"},
      {"+10000-01-01T00:00:00Z", "+10000-01-01T00:00:00Z"},
      {"-0001-01-01T00:00:00Z", "-0001-01-01T00:00:00Z"},
      {"-1-12-31T23:59:59Z", "-0001-12-31T23:59:59Z"},
      {"0000-01-01T00:00:00Z", "0000-01-01T00:00:00Z"},
      {"0000-01-01T00:30:00+01:00", "-0001-12-31T23:30:00Z"},
      {"9999-12-31T23:30:00-01:00", "+10000-01-01T00:30:00Z"},
      {"+00000000000000000000002024-05-01T00:00:00Z", "2024-05-01T00:00:00Z"},
      {"+262142-12-31T23:59:59.999999999Z", "+262142-12-31T23:59:59.999999999Z"},
      {"-262143-01-01T00:00:00Z", "-262143-01-01T00:00:00Z"},
      // Leap seconds stay second 60, whatever the offset that led there.
      {"2016-12-31T23:59:60Z", "2016-12-31T23:59:60Z"},
      {"2016-12-31T23:59:60.5Z", "2016-12-31T23:59:60.500Z"},
      {"2017-01-01T00:59:60.000000001+01:00", "2016-12-31T23:59:60.000000001Z"},
      {"2016-06-30T12:34:60Z", "2016-06-30T12:34:60Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_back(c.input), c.written) << c.input;
}

// Texts in the written form take a shorter reading; the same texts with a
// lower-case zone letter take the general one, and both agree, errors
// included.
TEST(Timestamp, WrittenFormReadsAsTheGeneralReaderDoes) {
  const char* texts[] = {
      "2025-03-04T05:06:07Z",          "2025-03-04T05:06:07.5Z",        "2025-03-04T05:06:07.123456789999Z",
      "0000-01-01T00:00:00Z",          "9999-12-31T23:59:59.999999999Z", "2016-12-31T23:59:60.25Z",
      "2024-02-29T00:00:00Z",          "2023-02-29T00:00:00Z",          "2024-13-01T00:00:00Z",
      "2024-00-10T00:00:00Z",          "2024-01-32T24:00:00Z",          "2024-01-01T00:60:61Z",
      "2024-01-01T00:00:00.Z",         "2024-01-01T00:00:00.1x",        "2024-01-01T00:00:00.1",
  };
  auto reading = [](std::string_view text) {
    auto t = parse_rfc3339(text);
    return t ? format_rfc3339(*t) : std::string("error: ") + std::string(message(t.error()));
  };
  for (std::string text : texts) {
    std::string general = text;
    general.back() = general.back() == 'Z' ? 'z' : general.back();
    EXPECT_EQ(reading(text), reading(general)) << text;
  }
}

TEST(Timestamp, RefusesWithTheFourErrorTexts) {
  const std::string invalid = "error: input contains invalid characters";
  const std::string premature = "error: premature end of input";
  const std::string trailing = "error: trailing input";
  const std::string range = "error: input is out of range";
  struct Case {
    std::string input;
    std::string error;
  };
  const Case cases[] = {
      // The text ends early.
      {"", premature},
      {"   ", premature},
      {"2024", premature},
      {"2024-05-", premature},
      {"2024-05-01", premature},
      {"2024-05-01T08:00", premature},
      {"2024-05-01T08:00:00", premature},  // no offset
      {"2024-05-01T08:00:00 ", premature},
      {"2024-05-01T08:00:00.", premature},
      {"2024-05-01T08:00:00+", premature},
      {"2024-05-01T08:00:00+0", premature},
      {"2024-05-01T08:00:00+02", premature},  // hours without minutes
      {"2024-05-01T08:00:00+02:", premature},
      {"2024-05-01T08:00:00+02:3", premature},
      {"2024-05-01T08:00:00U", premature},
      {"2024-05-01T08:00:00ut", premature},
      {"+", premature},
      // A character where another is due.
      {"x", invalid},
      {"2024-05-01X08:00:00Z", invalid},
      {"2024-05-01 T08:00:00Z", invalid},  // no white space before the separator
      {"2024/05/01T08:00:00Z", invalid},
      {"20245-05-01T08:00:00Z", invalid},  // unsigned years have at most four digits
      {"2024-005-01T08:00:00Z", invalid},
      {"2024-05-01T8h00:00Z", invalid},
      {"2024-05-01T08:00:00 .5Z", invalid},  // the fraction follows the seconds directly
      {"2024-05-01T08:00:00.xZ", invalid},
      {"2024-05-01T08:00:00X", invalid},
      {"2024-05-01T08:00:00UTX", invalid},
      {"2024-05-01T08:00:00+2:00", invalid},
      {"2024-05-01T08:00:00+02Z", invalid},
      {"2024-05-01T08:00:00+ab:00", invalid},
      {"2024-05-01T08:00:00\xE2\x88\x92", premature},
      {"2024-05-01T08:00:00\xE2\x88", invalid},  // a truncated minus sign is no sign
      {"+x", invalid},
      {"\xD9\xA2\xD9\xA0\xD9\xA2\xD9\xA4-05-01T08:00:00Z", invalid},  // only ASCII digits
      // Anything but white space after the zone.
      {"2024-05-01T08:00:00Zx", trailing},
      {"2024-05-01T08:00:00Z x", trailing},
      {"2024-05-01T08:00:00UTCZ", trailing},
      {"2024-05-01T08:00:00+02:000", trailing},
      {"2024-05-01T08:00:00Z\x80", trailing},
      {std::string("2024-05-01T08:00:00Z\0", 21), trailing},
      // Fields beyond their range, dates beyond the calendar.
      {"2024-13-01T00:00:00Z", range},
      {"2024-00-01T00:00:00Z", range},
      {"2024-05-00T00:00:00Z", range},
      {"2024-04-31T00:00:00Z", range},
      {"2025-02-30T00:00:00Z", range},
      {"2023-02-29T00:00:00Z", range},
      {"1900-02-29T00:00:00Z", range},
      {"2024-05-01T24:00:00Z", range},
      {"2024-05-01T08:60:00Z", range},
      {"2024-05-01T08:00:61Z", range},
      {"2024-05-01T08:00:00+02:60", range},
      {"2024-05-01T08:00:00+24:00", range},
      {"+262143-01-01T00:00:00Z", range},
      {"-262144-12-31T23:59:59Z", range},
      {"+262142-12-31T23:59:59-00:01", range},  // in the calendar only before the offset
      {"-262143-01-01T00:00:00+00:01", range},
      {"+99999999999999999999999999-01-01T00:00:00Z", range},
      // The shape of the whole text is judged before its ranges.
      {"2024-13-01T00:00:00Zx", trailing},
      {"2024-13-01T00:00:00", premature},
  };
  for (const Case& c : cases) EXPECT_EQ(read_back(c.input), c.error) << c.input;
}

TEST(Timestamp, LeapSecondIsSecond59WithMoreThanASecondOfNanos) {
  auto leap = parse_rfc3339("2016-12-31T23:59:60.5Z");
  ASSERT_TRUE(leap);
  EXPECT_EQ(leap->unix_seconds(), 1'483'228'799);  // 2016-12-31T23:59:59Z
  EXPECT_EQ(leap->nanos(), 1'500'000'000u);
  EXPECT_TRUE(leap->in_leap_second());
  EXPECT_EQ(to_wire_timestamp(*leap), (WireTimestamp{1'483'228'799, 1'500'000'000}));

  // It sorts after second 59 and before the next minute.
  EXPECT_LT(at(1'483'228'799, 999'999'999), *leap);
  EXPECT_LT(*leap, at(1'483'228'800));
  EXPECT_NE(*parse_rfc3339("2016-12-31T23:59:60Z"), at(1'483'228'800));

  // Only second 59 of a minute can hold a leap second.
  EXPECT_TRUE(Timestamp::from_unix(-1, 1'999'999'999));
  EXPECT_EQ(format_rfc3339(*Timestamp::from_unix(-1, 1'000'000'000)), "1969-12-31T23:59:60Z");
  EXPECT_FALSE(Timestamp::from_unix(0, 1'000'000'000));
  EXPECT_FALSE(Timestamp::from_unix(-1, 2'000'000'000));
}

TEST(Timestamp, WireCarriesSecondsSinceTheEpochAndNanos) {
  struct Case {
    const char* text;
    WireTimestamp wire;
  };
  const Case cases[] = {
      {"1970-01-01T00:00:00Z", {0, 0}},
      {"2025-03-04T05:06:07.000000001Z", {1'741'064'767, 1}},
      {"1969-12-31T23:59:59.75Z", {-1, 750'000'000}},
      {"0001-01-01T00:00:00Z", {-62'135'596'800, 0}},
      {"9999-12-31T23:59:59Z", {253'402'300'799, 0}},
      {"+10000-01-01T00:00:00Z", {253'402'300'800, 0}},
  };
  for (const Case& c : cases) {
    auto t = parse_rfc3339(c.text);
    ASSERT_TRUE(t) << c.text;
    EXPECT_EQ(to_wire_timestamp(*t), c.wire) << c.text;
  }
}

TEST(Timestamp, CalendarRangeIsEnforcedOnConstruction) {
  const auto first = parse_rfc3339("-262143-01-01T00:00:00Z");
  const auto last = parse_rfc3339("+262142-12-31T23:59:59Z");
  ASSERT_TRUE(first && last);
  EXPECT_TRUE(Timestamp::from_unix(first->unix_seconds(), 0));
  EXPECT_FALSE(Timestamp::from_unix(first->unix_seconds() - 1, 0));
  EXPECT_TRUE(Timestamp::from_unix(last->unix_seconds(), 999'999'999));
  EXPECT_FALSE(Timestamp::from_unix(last->unix_seconds() + 1, 0));
  EXPECT_FALSE(Timestamp::from_unix(INT64_MIN, 0));
  EXPECT_FALSE(Timestamp::from_unix(INT64_MAX, 0));
}

// Our calendar arithmetic against the standard library's, over the years
// both can name, through the written text.
TEST(Timestamp, DatesAgreeWithTheStandardCalendar) {
  using namespace std::chrono;
  std::mt19937_64 random(20240501);
  const auto lowest = sys_days(year(-32767) / January / 1).time_since_epoch().count();
  const auto highest = sys_days(year(32767) / December / 31).time_since_epoch().count();
  std::uniform_int_distribution<std::int64_t> day(lowest, highest);
  std::uniform_int_distribution<std::int64_t> second(0, 86'399);
  std::uniform_int_distribution<std::uint32_t> nanos(0, 999'999'999);
  for (int i = 0; i < 20'000; ++i) {
    const std::int64_t d = i == 0 ? lowest : i == 1 ? highest : day(random);
    const std::int64_t s = d * 86'400 + second(random);
    const std::uint32_t n = i % 3 == 0 ? 0 : nanos(random);
    const year_month_day ymd{sys_days{days{d}}};
    const int y = static_cast<int>(ymd.year());
    char date[32];
    if (y >= 0 && y <= 9999) {
      std::snprintf(date, sizeof date, "%04d-%02u-%02u", y, static_cast<unsigned>(ymd.month()),
                    static_cast<unsigned>(ymd.day()));
    } else {
      std::snprintf(date, sizeof date, "%c%04d-%02u-%02u", y < 0 ? '-' : '+', y < 0 ? -y : y,
                    static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    }
    const Timestamp t = at(s, n);
    const std::string text = format_rfc3339(t);
    ASSERT_EQ(text.substr(0, text.find('T')), date) << s;
    auto back = parse_rfc3339(text);
    ASSERT_TRUE(back) << text;
    ASSERT_EQ(*back, t) << text;
  }
}

TEST(Timestamp, NowIsTheWallClock) {
  const auto before = std::chrono::system_clock::now();
  const Timestamp t = Timestamp::now();
  const auto after = std::chrono::system_clock::now();
  const auto ns = [](std::chrono::system_clock::time_point p) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(p.time_since_epoch()).count();
  };
  const std::int64_t got = t.unix_seconds() * 1'000'000'000 + t.nanos();
  EXPECT_LE(ns(before), got);
  EXPECT_GE(ns(after), got);
  EXPECT_FALSE(t.in_leap_second());
}

TEST(TimestampJson, StringsOnlyWithTheParserText) {
  EXPECT_EQ(json::Value("2024-05-01T08:00:00Z"), timestamp_to_json(*parse_rfc3339("2024-05-01T10:00:00+02:00")));
  auto good = timestamp_from_json(json::Value("2016-12-31T23:59:60.5Z"));
  ASSERT_TRUE(good);
  EXPECT_EQ(timestamp_to_json(*good), json::Value("2016-12-31T23:59:60.500Z"));

  struct Case {
    json::Value input;
    const char* error;
  };
  const Case cases[] = {
      {json::Value(5), "invalid type: integer `5`, expected an RFC 3339 formatted date and time string"},
      {json::Value(), "invalid type: null, expected an RFC 3339 formatted date and time string"},
      {json::Value(json::Object()), "invalid type: map, expected an RFC 3339 formatted date and time string"},
      {json::Value("2024-05-01T08:00:00"), "premature end of input"},
      {json::Value("2024-05-01T08:00:00Zx"), "trailing input"},
      {json::Value("2024-13-01T00:00:00Z"), "input is out of range"},
      {json::Value("2024-05-01X08:00:00Z"), "input contains invalid characters"},
  };
  for (const Case& c : cases) {
    auto r = timestamp_from_json(c.input);
    ASSERT_FALSE(r) << c.error;
    EXPECT_EQ(r.error().to_string(), c.error);
  }
}

}  // namespace
}  // namespace revizer::event
