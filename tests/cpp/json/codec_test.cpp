// The record codec rules, on small fixture records, enumerations and unions.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>

#include "model/json/adjacent_union.h"
#include "model/json/enum_codec.h"
#include "model/json/external_union.h"
#include "model/json/internal_union.h"
#include "model/json/pull_reader.h"
#include "model/json/reader.h"
#include "model/json/record.h"
#include "model/json/writer.h"

namespace revizer::json {

enum class PolicyMode { Monitor, Govern, Steer };
template <>
struct EnumTable<PolicyMode> {
  static constexpr std::array<EnumRow, 3> rows{
      {{"monitor", "MONITOR", "monitor"}, {"govern", "GOVERN", "govern"}, {"steer", "STEER", "steer"}}};
};

namespace {

using enum Written;
using enum Read;

// One field of each kind.
struct Sample {
  std::uint32_t count = 0;
  std::int64_t offset = 0;
  double score = 0;
  std::optional<std::string> note;
  std::vector<std::string> tags;
  bool flag = false;
  Value data;
  std::optional<Value> extra;
  std::map<std::string, std::int32_t> labels;
  PolicyMode mode = PolicyMode::Monitor;

};
constexpr Record kSample{"struct Sample",
                         field<Always, Required>("count", &Sample::count),
                         field<Always, Default>("offset", &Sample::offset),
                         field<Always, Default>("score", &Sample::score),
                         field<Always, Optional>("note", &Sample::note),
                         field<WhenNonEmpty, Default>("tags", &Sample::tags),
                         field<WhenTrue, Default>("flag", &Sample::flag),
                         field<Always, Default>("data", &Sample::data),
                         field<WhenPresent, DefaultAbsent>("extra", &Sample::extra),
                         field<WhenNonEmpty, Default>("labels", &Sample::labels),
                         field<Always, Default>("mode", &Sample::mode)};
constexpr const auto& json_record(const Sample*) { return kSample; }

// A record of one field, and records used as union variants.
struct Note {
  std::string text;
};
constexpr Record kNote{"struct Note", field<Always, Required>("text", &Note::text)};
constexpr const auto& json_record(const Note*) { return kNote; }

struct Triple {
  std::string a, b, c;
};
constexpr Record kTriple{"struct Triple", field<Always, Required>("a", &Triple::a),
                         field<Always, Required>("b", &Triple::b), field<Always, Required>("c", &Triple::c)};
constexpr const auto& json_record(const Triple*) { return kTriple; }

// Two variants may share a content type.
using Shape = std::variant<Note, Triple, Note, Note>;
constexpr InternalUnion<Shape> kInternal{"internally tagged enum Shape", "type", {"note", "triple", "memo", "jot"}};
constexpr AdjacentUnion<Shape> kAdjacent{"adjacently tagged enum Shape", "type", "data", {"note", "triple", "memo", "jot"}};
using Card = std::variant<Note, Triple>;
constexpr ExternalUnion<Card> kExternal{{"Note", "Triple"}};
// A variant that answers to two tags.
constexpr InternalUnion<Card, 3> kAliased{
    "internally tagged enum Card", "kind", {"note", "triple"}, {{{"triple", 1}, {"note", 0}, {"memo", 0}}}};
static_assert(!kNote.has_key("type") && !kTriple.has_key("type"));

Value value_of(std::string_view text) {
  auto v = parse(text);
  EXPECT_TRUE(v) << text;
  return v ? std::move(*v) : Value();
}

template <class Decode, class Encode>
std::string round_trip(std::string_view text, Decode decode, Encode encode) {
  auto r = decode(value_of(text));
  if (!r) return r.error().to_string();
  return write(encode(*r));
}

std::string sample(std::string_view text, Mode mode = Mode::Direct) {
  return round_trip(text, [&](Value v) { return decode<Sample>(std::move(v), mode); },
                    [](const Sample& s) { return encode(s); });
}

struct Case {
  const char* input;
  const char* result;  // written back, or the error text
};

struct ModeCase {
  const char* input;
  const char* direct;
  const char* buffered;  // nullptr: same as direct
};

// Decodes each input with `description` in both modes and writes it back.
template <class Description, std::size_t N>
void expect_in_both_modes(const Description& description, const ModeCase (&cases)[N]) {
  const auto encode = [&](const auto& v) { return description.encode(v); };
  for (const ModeCase& c : cases) {
    for (Mode mode : {Mode::Direct, Mode::Buffered}) {
      const auto decode = [&](Value v) { return description.decode(std::move(v), mode); };
      const char* expected = mode == Mode::Buffered && c.buffered ? c.buffered : c.direct;
      EXPECT_EQ(round_trip(c.input, decode, encode), expected)
          << c.input << (mode == Mode::Buffered ? " (buffered)" : "");
    }
  }
}

TEST(RecordCodec, PrimitiveKinds) {
  const Case cases[] = {
      {R"({"count":1})", R"({"count":1,"offset":0,"score":0.0,"note":null,"data":null,"mode":"monitor"})"},
      {R"({"count":-1})", "invalid value: integer `-1`, expected u32"},
      {R"({"count":4294967296})", "invalid value: integer `4294967296`, expected u32"},
      {R"({"count":1.0})", "invalid type: floating point `1.0`, expected u32"},
      {R"({"count":"1"})", R"(invalid type: string "1", expected u32)"},
      {R"({"count":0,"offset":9223372036854775808})", "invalid value: integer `9223372036854775808`, expected i64"},
      {R"({"count":0,"offset":-9223372036854775808,"score":3})",
       R"({"count":0,"offset":-9223372036854775808,"score":3.0,"note":null,"data":null,"mode":"monitor"})"},
      {R"({"count":0,"score":null})", "invalid type: null, expected f64"},
      {R"({"count":0,"score":true})", "invalid type: boolean `true`, expected f64"},
      {R"({"count":0,"flag":1})", "invalid type: integer `1`, expected a boolean"},
      {R"({"count":0,"tags":null})", "invalid type: null, expected a sequence"},
      {R"({"count":0,"tags":["a",{}]})", "invalid type: map, expected a string"},
      {R"({"count":0,"labels":null})", "invalid type: null, expected a map"},
      {R"({"count":0,"labels":{"a":1,"B":2,"b":2147483648}})", "invalid value: integer `2147483648`, expected i32"},
      // Maps ordered by key are written in byte order; flags only when true.
      {R"({"count":0,"labels":{"a":1,"B":2},"flag":true,"tags":["z","a"]})",
       R"({"count":0,"offset":0,"score":0.0,"note":null,"tags":["z","a"],"flag":true,"data":null,"labels":{"B":2,"a":1},"mode":"monitor"})"},
      // JSON value fields: null is kept in one, absent in the optional one.
      {R"({"count":0,"data":null,"extra":null})",
       R"({"count":0,"offset":0,"score":0.0,"note":null,"data":null,"mode":"monitor"})"},
      {R"({"count":0,"data":{"k":[1,-1,1.5]},"extra":false})",
       R"({"count":0,"offset":0,"score":0.0,"note":null,"data":{"k":[1,-1,1.5]},"extra":false,"mode":"monitor"})"},
      // Unknown keys are skipped without looking at them; the first bad
      // value in entry order wins; missing fields are checked last.
      {R"({"zzz":{"deep":[1]},"count":0,"Count":"x"})",
       R"({"count":0,"offset":0,"score":0.0,"note":null,"data":null,"mode":"monitor"})"},
      {R"({"offset":"x","score":"y"})", R"(invalid type: string "x", expected i64)"},
      {R"({"offset":1})", "missing field `count`"},
      {R"([])", "invalid length 0, expected struct Sample with 10 elements"},
      // Defaulted elements passed over: the number is the position of the
      // first element that must be there.
      {R"([5])", "invalid length 3, expected struct Sample with 10 elements"},
      {R"([5,1,2,null])", R"({"count":5,"offset":1,"score":2.0,"note":null,"data":null,"mode":"monitor"})"},
      {R"([5,1,2,"n",[],false,null,null,{},"steer",0])", "invalid length 11, expected fewer elements in array"},
  };
  for (const Case& c : cases) EXPECT_EQ(sample(c.input), c.result) << c.input;
}

// "-0" is the integer 0 for every integer kind, in the tree and read
// straight from text; with a fraction or an exponent it stays a float.
TEST(RecordCodec, MinusZeroIsAnInteger) {
  const Case cases[] = {
      {R"({"count":-0,"offset":-0,"score":-0,"labels":{"a":-0}})",
       R"({"count":0,"offset":0,"score":0.0,"note":null,"data":null,"labels":{"a":0},"mode":"monitor"})"},
      {R"({"count":-0.0})", "invalid type: floating point `-0.0`, expected u32"},
      {R"({"count":0,"offset":-0e0})", "invalid type: floating point `-0.0`, expected i64"},
      {R"({"count":0,"score":-0.0})", R"({"count":0,"offset":0,"score":-0.0,"note":null,"data":null,"mode":"monitor"})"},
  };
  for (const Case& c : cases) EXPECT_EQ(sample(c.input), c.result) << c.input;

  Sample straight;
  ASSERT_TRUE(read_text(R"({"count":-0,"offset":-0,"data":[-0,-0.0]})", straight));
  EXPECT_EQ(straight.count, 0u);
  EXPECT_EQ(straight.offset, 0);
  EXPECT_EQ(write(straight.data), "[0,-0.0]");
  EXPECT_FALSE(read_text(R"({"count":-0.0})", straight));
}

TEST(RecordCodec, NonFiniteFloatsWriteAsNullAndDoNotReadBack) {
  Sample s;
  s.score = std::numeric_limits<double>::infinity();
  const std::string text = write(encode(s));
  EXPECT_EQ(text, R"({"count":0,"offset":0,"score":null,"note":null,"data":null,"mode":"monitor"})");
  EXPECT_EQ(sample(text), "invalid type: null, expected f64");
}

TEST(RecordCodec, OneFieldRecordAndSurplusTexts) {
  const auto note = [](std::string_view text, Mode mode) {
    return round_trip(text, [&](Value v) { return decode<Note>(std::move(v), mode); },
                      [](const Note& n) { return encode(n); });
  };
  EXPECT_EQ(note("[]", Mode::Direct), "invalid length 0, expected struct Note with 1 element");
  EXPECT_EQ(note(R"(["a","b"])", Mode::Direct), "invalid length 2, expected fewer elements in array");
  EXPECT_EQ(note(R"(["a","b"])", Mode::Buffered), "invalid length 2, expected 1 element in sequence");
  EXPECT_EQ(note(R"(["a"])", Mode::Buffered), R"({"text":"a"})");
}

TEST(RecordCodec, FoundValueDescriptions) {
  const Case cases[] = {
      {R"("abc")", R"(invalid type: string "abc", expected struct Note)"},
      {R"("say \"hi\"\\")", R"(invalid type: string "say \"hi\"\\", expected struct Note)"},
      {R"("a\nb\rc\td\u0000e\u0001")", R"(invalid type: string "a\nb\rc\td\0e\u{1}", expected struct Note)"},
      {"\"caf\xc3\xa9 \xf0\x9f\x98\x80 it's\"", "invalid type: string \"caf\xc3\xa9 \xf0\x9f\x98\x80 it's\", expected struct Note"},
      {R"("\u00a0\u200b\u0301\u2028\ue000")", R"(invalid type: string "\u{a0}\u{200b}\u{301}\u{2028}\u{e000}", expected struct Note)"},
      {"2.0", "invalid type: floating point `2.0`, expected struct Note"},
      {"1e16", "invalid type: floating point `1e+16`, expected struct Note"},
      {"0.00000015", "invalid type: floating point `1.5e-7`, expected struct Note"},
      {"0.00001", "invalid type: floating point `0.00001`, expected struct Note"},
      {"1e15", "invalid type: floating point `1000000000000000.0`, expected struct Note"},
      {"-3", "invalid type: integer `-3`, expected struct Note"},
      {"false", "invalid type: boolean `false`, expected struct Note"},
      {"null", "invalid type: null, expected struct Note"},
  };
  for (const Case& c : cases) {
    auto r = decode<Note>(value_of(c.input));
    ASSERT_FALSE(r) << c.input;
    EXPECT_EQ(r.error().to_string(), c.result) << c.input;
  }
}

TEST(EnumCodec, Names) {
  const auto mode = [](std::string_view text, Mode m) {
    PolicyMode out{};
    auto st = Codec<PolicyMode>::decode(value_of(text), out, m);
    return st ? write(Codec<PolicyMode>::encode(out)) : st.error().to_string();
  };
  const Case direct[] = {
      {R"("steer")", R"("steer")"},
      {R"({"govern":null})", R"("govern")"},
      {R"({"monitor":1})", "invalid type: integer `1`, expected unit"},
      {R"({"monitor":{}})", "invalid type: map, expected unit"},
      {R"({})", "invalid value: map, expected map with a single key"},
      {R"({"monitor":null,"steer":null})", "invalid value: map, expected map with a single key"},
      {"0", "invalid type: integer `0`, expected string or map"},
      {"null", "invalid type: null, expected string or map"},
      {R"("Monitor")", "unknown variant `Monitor`, expected one of `monitor`, `govern`, `steer`"},
      {R"({"x":5})", "unknown variant `x`, expected one of `monitor`, `govern`, `steer`"},  // name before value
  };
  for (const Case& c : direct) EXPECT_EQ(mode(c.input, Mode::Direct), c.result) << c.input;
  EXPECT_EQ(mode(R"({"monitor":{}})", Mode::Buffered), R"("monitor")");
  EXPECT_EQ(mode(R"({"monitor":{"a":1}})", Mode::Buffered), "invalid type: map, expected unit");
  EXPECT_EQ(mode("0", Mode::Buffered), "invalid type: integer `0`, expected string or map");
}

TEST(ExternalUnion, Forms) {
  const Case cases[] = {
      {R"({"Note":{"text":"t"}})", R"({"Note":{"text":"t"}})"},
      {R"({"Triple":["a","b","c"]})", R"({"Triple":{"a":"a","b":"b","c":"c"}})"},
      {R"({"Note":null})", "invalid type: null, expected struct Note"},
      {R"("Note")", "invalid type: unit variant, expected newtype variant"},
      {R"("Other")", "unknown variant `Other`, expected `Note` or `Triple`"},
      {R"({"Other":1})", "unknown variant `Other`, expected `Note` or `Triple`"},
      {R"({})", "invalid value: map, expected map with a single key"},
      {R"({"Note":{"text":"t"},"Triple":{}})", "invalid value: map, expected map with a single key"},
      {"[]", "invalid type: sequence, expected string or map"},
  };
  const auto decode = [](Value v) { return kExternal.decode(std::move(v), Mode::Direct); };
  const auto encode = [](const Card& c) { return kExternal.encode(c); };
  for (const Case& c : cases) EXPECT_EQ(round_trip(c.input, decode, encode), c.result) << c.input;
}

TEST(InternalUnion, Forms) {
  const ModeCase cases[] = {
      {R"({"x":1,"text":"t","type":"memo"})", R"({"type":"memo","text":"t"})", nullptr},
      {R"({"a":"1","type":"triple","c":"3","b":"2"})", R"({"type":"triple","a":"1","b":"2","c":"3"})", nullptr},
      {R"({"text":"t"})", "missing field `type`", nullptr},
      {R"({"text":5,"type":"nope"})", "unknown variant `nope`, expected one of `note`, `triple`, `memo`, `jot`", nullptr},
      {R"({"text":"t","type":null})", "invalid type: null, expected variant identifier", nullptr},
      {R"({"text":"t","type":0})", "invalid type: integer `0`, expected variant identifier", R"({"type":"note","text":"t"})"},
      {R"({"text":"t","type":9})", "invalid type: integer `9`, expected variant identifier",
       "invalid value: integer `9`, expected variant index 0 <= i < 4"},
      {R"({"text":"t","type":-1})", "invalid type: integer `-1`, expected variant identifier", nullptr},
      {R"({"text":"t","type":{"note":null}})", "invalid type: map, expected variant identifier", nullptr},
      {R"({"type":"triple","a":"1"})", "missing field `b`", nullptr},
      {R"(["triple","1","2","3"])", R"({"type":"triple","a":"1","b":"2","c":"3"})", nullptr},
      {R"(["triple","1","2","3","4"])", "invalid length 4, expected 3 elements in sequence", nullptr},
      {R"(["note",["nested","surplus"]])", "invalid type: sequence, expected a string", nullptr},
      {R"([])", "missing field `type`", nullptr},
      {"null", "invalid type: null, expected internally tagged enum Shape", nullptr},
  };
  expect_in_both_modes(kInternal, cases);
}

TEST(InternalUnion, ReadTags) {
  const ModeCase cases[] = {
      {R"({"kind":"memo","text":"t"})", R"({"kind":"note","text":"t"})", nullptr},
      {R"(["memo","t"])", R"({"kind":"note","text":"t"})", nullptr},
      // The list names every tag read, in the table's order.
      {R"({"kind":"jot","text":"t"})", "unknown variant `jot`, expected one of `triple`, `note`, `memo`", nullptr},
      // Index tags count variants, not tags.
      {R"({"kind":1,"a":"1","b":"2","c":"3"})", "invalid type: integer `1`, expected variant identifier",
       R"({"kind":"triple","a":"1","b":"2","c":"3"})"},
      {R"({"kind":2,"text":"t"})", "invalid type: integer `2`, expected variant identifier",
       "invalid value: integer `2`, expected variant index 0 <= i < 2"},
  };
  expect_in_both_modes(kAliased, cases);
}

// A boxed record has its record's form.
struct Boxed {
  Box<Triple> triple;
};
constexpr Record kBoxed{"struct Boxed", field<Always, Required>("triple", &Boxed::triple)};
constexpr const auto& json_record(const Boxed*) { return kBoxed; }

TEST(BoxCodec, HasTheFormOfItsValue) {
  const auto boxed = [](std::string_view text) {
    return round_trip(text, [](Value v) { return decode<Boxed>(std::move(v)); },
                      [](const Boxed& b) { return encode(b); });
  };
  EXPECT_EQ(boxed(R"({"triple":["1","2","3"]})"), R"({"triple":{"a":"1","b":"2","c":"3"}})");
  EXPECT_EQ(boxed(R"({"triple":null})"), "invalid type: null, expected struct Triple");
}

TEST(AdjacentUnion, Forms) {
  const ModeCase cases[] = {
      {R"({"type":"note","data":{"text":"t"}})", R"({"type":"note","data":{"text":"t"}})", nullptr},
      {R"({"x":1,"data":{"text":"t"},"y":2,"type":"note","z":3})", R"({"type":"note","data":{"text":"t"}})", nullptr},
      {R"({"data":{"text":"t"}})", "missing field `type`", nullptr},
      {R"({"type":"note"})", "missing field `data`", nullptr},
      {R"({"other":1})", "missing field `type`", nullptr},
      {R"({"type":0,"data":{"text":"t"}})", "invalid type: integer `0`, expected string or map", nullptr},
      {R"({"type":{"note":null},"data":{"text":"t"}})", R"({"type":"note","data":{"text":"t"}})", nullptr},
      {R"({"type":{"note":{}},"data":{"text":"t"}})", "invalid type: map, expected unit", R"({"type":"note","data":{"text":"t"}})"},
      // Content before its tag is buffered content: surplus texts change.
      {R"({"type":"note","data":["t","u"]})", "invalid length 2, expected fewer elements in array",
       "invalid length 2, expected 1 element in sequence"},
      {R"({"data":["t","u"],"type":"note"})", "invalid length 2, expected 1 element in sequence", nullptr},
      {R"({"data":5,"type":"bad"})", "unknown variant `bad`, expected one of `note`, `triple`, `memo`, `jot`", nullptr},
      {R"(["note",{"text":"t"}])", R"({"type":"note","data":{"text":"t"}})", nullptr},
      {R"([])", "invalid length 0, expected adjacently tagged enum Shape", nullptr},
      {R"(["note"])", "invalid length 1, expected adjacently tagged enum Shape", nullptr},
      {R"(["bad"])", "unknown variant `bad`, expected one of `note`, `triple`, `memo`, `jot`", nullptr},
      {R"([5])", "invalid type: integer `5`, expected variant identifier",
       "invalid value: integer `5`, expected variant index 0 <= i < 4"},
      {R"([2])", "invalid type: integer `2`, expected variant identifier",
       "invalid length 1, expected adjacently tagged enum Shape"},
      {R"(["note",{"text":"t"},1])", "invalid length 3, expected fewer elements in array",
       "invalid length 3, expected 2 elements in sequence"},
      {R"([1,["a","b","c"]])", "invalid type: integer `1`, expected variant identifier",
       R"({"type":"triple","data":{"a":"a","b":"b","c":"c"}})"},
      {R"([{"note":null},{"text":"t"}])", "invalid type: map, expected variant identifier", nullptr},
      {"3", "invalid type: integer `3`, expected adjacently tagged enum Shape", nullptr},
  };
  expect_in_both_modes(kAdjacent, cases);
}

}  // namespace
}  // namespace revizer::json

namespace revizer {
namespace {

// Copies of a Box share the held value until one of them is written to;
// each then reads as a deep copy would.
TEST(Box, CopiesShareUntilWritten) {
  Box<std::string> a(std::string("held"));
  Box<std::string> b = a;
  const Box<std::string>& shared = b;
  EXPECT_EQ(&*shared, &*std::as_const(a));
  *b += " and changed";
  EXPECT_EQ(*std::as_const(a), "held");
  EXPECT_EQ(*std::as_const(b), "held and changed");
  EXPECT_NE(&*std::as_const(a), &*std::as_const(b));
  Box<std::string> c = a;
  EXPECT_TRUE(c == a);
  c = b;
  EXPECT_TRUE(c == b && !(c == a));
  Box<std::string> moved = std::move(c);
  EXPECT_FALSE(c.has_value());
  EXPECT_TRUE(moved == b);
}

// Default Boxes share one default value, which a write to any of them never
// reaches: the next default Box still holds the default.
TEST(Box, DefaultsShareAndStayDefault) {
  Box<std::string> a;
  Box<std::string> b;
  EXPECT_EQ(&*std::as_const(a), &*std::as_const(b));
  *a = "written";
  EXPECT_EQ(*std::as_const(b), "");
  const Box<std::string> fresh;
  EXPECT_EQ(*fresh, "");
  static_assert(std::is_nothrow_default_constructible_v<Box<std::string>>);
}

}  // namespace
}  // namespace revizer
