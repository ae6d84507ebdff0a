// The answer decoder on hand-made bytes: every error text with its entries,
// the recursion limit at its edge, and the merge and skip rules.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/json/reader.h"
#include "model/json/writer.h"
#include "schema/wire/adjudicates_response.h"
#include "schema/wire/struct_decoding.h"
#include "tests/cpp/wire/proto_bytes.h"

namespace revizer::wire {
namespace {

using namespace revizer::wire::testing;

constexpr const char* kPrefix = "failed to decode Protobuf message: ";

std::string event_with_payload(std::string_view struct_body) { return answer_with_event(len(7, struct_body)); }

std::string decode_error(const std::string& bytes) {
  auto decoded = AdjudicatesResponse::decode(bytes);
  if (decoded) return "(decoded)";
  EXPECT_EQ(decoded.error().code, common::GrpcCode::Internal);
  return decoded.error().message;
}

TEST(WireDecode, ErrorTextsNameEveryLevelInnermostFirst) {
  const std::string bad_utf8 = "\xC0\x80";
  const std::string ten_byte_varint = std::string(9, '\xFF') + "\x02";
  struct Case {
    const char* what;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"events with the varint wire type", key(1, 0) + varint(5),
       "AdjudicatesResponse.events: invalid wire type: Varint (expected LengthDelimited)"},
      {"events as a group", key(1, 3) + key(1, 4), "AdjudicatesResponse.events: invalid wire type: StartGroup (expected LengthDelimited)"},
      {"key above 2^32 - 1", varint(std::uint64_t{1} << 35), "invalid key value: 34359738368"},
      {"key of 2^32 - 1 is fine, wire type 7 is not", varint(0xFFFFFFFFu), "invalid wire type value: 7"},
      {"wire type 6", key(1, 6), "invalid wire type value: 6"},
      {"tag 0", std::string("\x00", 1), "invalid tag value: 0"},
      {"tag 0 inside an event", answer_with_event(std::string("\x02\x00", 2)), "AdjudicatesResponse.events: invalid tag value: 0"},
      {"key cut short", "\x80", "invalid varint"},
      {"varint of eleven bytes", std::string(10, '\x80') + "\x01", "invalid varint"},
      {"tenth varint byte above 1", key(1, 2) + ten_byte_varint, "AdjudicatesResponse.events: invalid varint"},
      {"seconds with a bad varint", answer_with_event(len(4, key(1, 0) + ten_byte_varint)),
       "Timestamp.seconds: Event.timestamp: AdjudicatesResponse.events: invalid varint"},
      {"event longer than the buffer", key(1, 2) + varint(5) + "ab", "AdjudicatesResponse.events: buffer underflow"},
      {"string longer than the buffer", answer_with_event(key(1, 2) + varint(9) + "ab"),
       "Event.event_id: AdjudicatesResponse.events: buffer underflow"},
      {"string crossing the end of its event", key(1, 2) + varint(2) + len(1, "abc"),
       "AdjudicatesResponse.events: delimited length exceeded"},
      {"unknown field crossing the end of its event", key(1, 2) + varint(2) + len(9, "abc"),
       "AdjudicatesResponse.events: delimited length exceeded"},
      {"unknown field longer than the buffer", answer_with_event(key(9, 2) + varint(50)),
       "AdjudicatesResponse.events: buffer underflow"},
      {"unknown fixed64 cut short", key(9, 1) + "abc", "buffer underflow"},
      {"unknown fixed32 cut short", answer_with_event(key(9, 5) + "ab"), "AdjudicatesResponse.events: buffer underflow"},
      {"event_id not UTF-8", answer_with_event(len(1, bad_utf8)),
       "Event.event_id: AdjudicatesResponse.events: invalid string value: data is not UTF-8 encoded"},
      {"event_name not UTF-8 (a lone surrogate)", answer_with_event(len(6, "ok\xED\xA0\x80")),
       "Event.event_name: AdjudicatesResponse.events: invalid string value: data is not UTF-8 encoded"},
      {"event_type with the varint wire type", answer_with_event(varint_field(5, 1)),
       "Event.event_type: AdjudicatesResponse.events: invalid wire type: Varint (expected LengthDelimited)"},
      {"timestamp with the fixed32 wire type", answer_with_event(key(4, 5) + "abcd"),
       "Event.timestamp: AdjudicatesResponse.events: invalid wire type: ThirtyTwoBit (expected LengthDelimited)"},
      {"seconds length-delimited", answer_with_event(len(4, len(1, "x"))),
       "Timestamp.seconds: Event.timestamp: AdjudicatesResponse.events: invalid wire type: LengthDelimited (expected Varint)"},
      {"nanos as fixed64", answer_with_event(len(4, fixed64_field(2, 1))),
       "Timestamp.nanos: Event.timestamp: AdjudicatesResponse.events: invalid wire type: SixtyFourBit (expected Varint)"},
      {"payload with the varint wire type", answer_with_event(varint_field(7, 0)),
       "Event.payload: AdjudicatesResponse.events: invalid wire type: Varint (expected LengthDelimited)"},
      {"Struct.fields with the varint wire type", event_with_payload(varint_field(1, 0)),
       "Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: Varint (expected LengthDelimited)"},
      {"map key not UTF-8", event_with_payload(len(1, len(1, bad_utf8))),
       "Struct.fields: Event.payload: AdjudicatesResponse.events: invalid string value: data is not UTF-8 encoded"},
      {"map value with the varint wire type", event_with_payload(len(1, varint_field(2, 0))),
       "Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: Varint (expected LengthDelimited)"},
      {"map entry longer than the payload", answer_with_event(key(7, 2) + varint(2) + "\x0A\x03" + len(1, "k")),
       "Event.payload: AdjudicatesResponse.events: delimited length exceeded"},
      {"map entry longer than the buffer", event_with_payload(key(1, 2) + varint(4) + len(1, "k")),
       "Struct.fields: Event.payload: AdjudicatesResponse.events: buffer underflow"},
      {"string_value not UTF-8", event_with_payload(entry("k", string_value(bad_utf8))),
       "Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid string value: data is not UTF-8 encoded"},
      {"number_value cut short", event_with_payload(len(1, len(1, "k") + len(2, key(2, 1) + "abc"))),
       "Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: buffer underflow"},
      {"number_value as a varint", event_with_payload(entry("k", varint_field(2, 1))),
       "Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: Varint (expected SixtyFourBit)"},
      {"bool_value length-delimited", event_with_payload(entry("k", len(4, ""))),
       "Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: LengthDelimited (expected Varint)"},
      {"null_value as fixed32", event_with_payload(entry("k", key(1, 5) + "abcd")),
       "Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: ThirtyTwoBit (expected Varint)"},
      {"struct_value as a varint", event_with_payload(entry("k", varint_field(5, 0))),
       "Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: Varint (expected LengthDelimited)"},
      {"ListValue.values as a varint", event_with_payload(entry("k", list_value(varint_field(1, 0)))),
       "ListValue.values: Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid wire type: Varint "
       "(expected LengthDelimited)"},
      {"nested struct key not UTF-8", event_with_payload(entry("k", struct_value(len(1, len(1, bad_utf8))))),
       "Struct.fields: Value.kind: Struct.fields: Event.payload: AdjudicatesResponse.events: invalid string value: data is "
       "not UTF-8 encoded"},
      {"end group without a start", key(9, 4), "unexpected end group tag"},
      {"group closed by another field", key(9, 3) + key(8, 4), "unexpected end group tag"},
      {"group never closed", answer_with_event(key(9, 3) + varint_field(1, 1)),
       "AdjudicatesResponse.events: invalid varint"},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_error(c.bytes), kPrefix + c.message) << c.what;
}

TEST(WireDecode, RecursionLimitOfOneHundredMessageLevels) {
  // Each list level costs two messages (ListValue, Value); the answer, the
  // event, the Struct, its entry and the entry's Value take the first five.
  // 48 lists leave the innermost Value's fields at budget 0: decodable, but
  // nothing more may nest or be skipped there.
  auto lists = [](int n, const std::string& innermost) {
    std::string value = innermost;  // the innermost Value's body
    for (int i = 0; i < n; ++i) value = list_value(len(1, value));
    return event_with_payload(entry("a", value));
  };
  auto fine = AdjudicatesResponse::decode(lists(47, null_value()));
  ASSERT_TRUE(fine) << fine.error().message;
  std::string text;
  json::write_to(json::Value(*fine->events[0].payload), text);
  EXPECT_EQ(text, R"({"a":)" + std::string(47, '[') + "null" + std::string(47, ']') + "}");

  EXPECT_TRUE(AdjudicatesResponse::decode(lists(47, varint_field(9, 1)))) << "skipping still has budget here";
  EXPECT_TRUE(AdjudicatesResponse::decode(lists(48, null_value()))) << "the last level that may hold a value";

  std::string entries;
  for (int i = 0; i < 48; ++i) entries += "ListValue.values: Value.kind: ";
  EXPECT_EQ(decode_error(lists(48, varint_field(9, 1))),
            kPrefix + entries + "Struct.fields: Event.payload: AdjudicatesResponse.events: recursion limit reached")
      << "an unknown field at budget 0 cannot be skipped";
  EXPECT_EQ(decode_error(lists(49, null_value())),
            kPrefix + std::string("Value.kind: ") + entries + "Struct.fields: Event.payload: AdjudicatesResponse.events: recursion limit reached");

  // Far deeper input fails the same way.
  const std::string deep = lists(2000, null_value());
  EXPECT_NE(decode_error(deep).find("recursion limit reached"), std::string::npos);
}

TEST(WireDecode, GroupsOfUnknownFieldsAreSkippedWithinTheBudget) {
  // Inside an event the budget is 99: 99 nested groups fit, 100 do not.
  std::string group;
  for (int i = 0; i < 99; ++i) group = key(9, 3) + group + key(9, 4);
  EXPECT_TRUE(AdjudicatesResponse::decode(answer_with_event(group)));
  std::string deeper;
  for (int i = 0; i < 100; ++i) deeper = key(9, 3) + deeper + key(9, 4);
  EXPECT_EQ(decode_error(answer_with_event(deeper)), kPrefix + std::string("AdjudicatesResponse.events: recursion limit reached"));
  std::string huge;
  for (int i = 0; i < 200000; ++i) huge += key(9, 3);
  EXPECT_EQ(decode_error(huge), kPrefix + std::string("recursion limit reached"));
}

json::Value payload_of(const std::string& struct_body) {
  auto decoded = AdjudicatesResponse::decode(event_with_payload(struct_body));
  EXPECT_TRUE(decoded) << decoded.error().message;
  if (!decoded) return json::Value();
  return json::Value(*decoded->events.at(0).payload);
}

std::string text_of(const json::Value& v) { return json::write(v); }

TEST(WireDecode, NumbersFollowTheIntegerRule) {
  const double two63 = 9223372036854775808.0;
  struct Case {
    double number;
    const char* json;
  };
  const Case cases[] = {
      {3.0, "3"},
      {2.5, "2.5"},
      {-7.0, "-7"},
      {-0.0, "0"},
      {1e300, "1e+300"},
      {0.1, "0.1"},
      {9007199254740993.0, "9007199254740992"},
      {two63, "9223372036854775807"},      // 2^63 saturates
      {-two63, "-9223372036854775808"},
      {two63 * 2, "1.8446744073709552e+19"},  // beyond 2^63: a float
      {-two63 * 2, "-1.8446744073709552e+19"},
      {std::nextafter(two63, 0.0), "9223372036854774784"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text_of(number_to_json(c.number)), c.json) << c.number;
    const std::string body = entry("n", fixed64_field(2, std::bit_cast<std::uint64_t>(c.number)));
    EXPECT_EQ(text_of(payload_of(body)), std::string(R"({"n":)") + c.json + "}") << c.number;
  }
  EXPECT_TRUE(number_to_json(3.0).is_u64());
  EXPECT_TRUE(number_to_json(-0.0).is_u64());
  EXPECT_TRUE(number_to_json(-3.0).is_i64());
  EXPECT_TRUE(number_to_json(1e300).is_f64());
}

TEST(WireDecode, KeysComeInAscendingByteOrderAndRepeatedKeysKeepTheLast) {
  const std::string body = entry("b", string_value("1")) + entry("\xC3\xA9", null_value()) + entry("B", null_value()) +
                           entry("aa", null_value()) + entry("a", string_value("first")) + entry("", null_value()) +
                           entry("a", string_value("last"));
  EXPECT_EQ(text_of(payload_of(body)), R"({"":null,"B":null,"a":"last","aa":null,"b":"1","é":null})");
  // Many keys take the sorting path with an index behind the object.
  std::string many;
  for (int i = 199; i >= 0; --i) many += entry(std::string("k").append(std::to_string(1000 + i)), varint_field(4, i % 2));
  many += entry("k1005", string_value("again"));
  const json::Value v = payload_of(many);
  ASSERT_EQ(v.as_object().size(), 200u);
  EXPECT_EQ(v.as_object().members().front().key, "k1000");
  EXPECT_EQ(*v.find("k1005"), json::Value("again"));
  EXPECT_EQ(*v.find("k1006"), json::Value(false));
}

TEST(WireDecode, RepeatedFieldsMergeAsProtobufMerges) {
  struct Case {
    const char* what;
    std::string struct_body;
    const char* json;
  };
  const Case cases[] = {
      {"struct_value twice in one Value merges",
       entry("s", struct_value(entry("x", null_value())) + struct_value(entry("y", null_value()) + entry("x", string_value("2")))),
       R"({"s":{"x":"2","y":null}})"},
      {"list_value twice in one Value concatenates",
       entry("l", list_value(len(1, string_value("a"))) + list_value(len(1, string_value("b")))), R"({"l":["a","b"]})"},
      {"another kind replaces a struct", entry("s", struct_value(entry("x", null_value())) + string_value("t")),
       R"({"s":"t"})"},
      {"a struct after another kind starts afresh",
       entry("s", struct_value(entry("x", null_value())) + varint_field(4, 1) + struct_value(entry("y", null_value()))),
       R"({"s":{"y":null}})"},
      {"a map entry's value given twice merges",
       len(1, len(1, "s") + len(2, struct_value(entry("x", null_value()))) + len(2, struct_value(entry("y", null_value())))),
       R"({"s":{"x":null,"y":null}})"},
      {"a later entry of the same key replaces, never merges",
       entry("s", struct_value(entry("x", null_value()))) + entry("s", struct_value(entry("y", null_value()))),
       R"({"s":{"y":null}})"},
      {"an entry's key given twice keeps the last", len(1, len(1, "a") + len(1, "b") + len(2, null_value())), R"({"b":null})"},
      {"an entry without key or value", len(1, ""), R"({"":null})"},
      {"a Value with no kind", entry("v", ""), R"({"v":null})"},
      {"any null_value number", entry("v", varint_field(1, 7)), R"({"v":null})"},
      {"bool_value of any non-zero varint", entry("v", varint_field(4, 300)), R"({"v":true})"},
      {"string_value given twice", entry("v", string_value("a") + string_value("b")), R"({"v":"b"})"},
  };
  for (const Case& c : cases) EXPECT_EQ(text_of(payload_of(c.struct_body)), c.json) << c.what;
}

TEST(WireDecode, EventFieldsRepeatAndMerge) {
  const std::string event = len(1, "first") + len(1, "second") + len(4, varint_field(1, 5)) + len(4, varint_field(2, 6)) +
                            len(4, varint_field(1, 7)) + len(7, entry("a", null_value())) +
                            len(7, entry("b", null_value()) + entry("a", string_value("x"))) + len(3, "agent");
  auto decoded = AdjudicatesResponse::decode(answer_with_event(event) + answer_with_event(""));
  ASSERT_TRUE(decoded) << decoded.error().message;
  ASSERT_EQ(decoded->events.size(), 2u);
  const WireEvent& e = decoded->events[0];
  EXPECT_EQ(e.event_id, "second");
  EXPECT_EQ(e.agent_id, "agent");
  EXPECT_EQ(e.timestamp, (WireTimestamp{7, 6}));
  EXPECT_EQ(text_of(json::Value(*e.payload)), R"({"a":"x","b":null})");
  // The second event is empty: no timestamp, no payload.
  EXPECT_EQ(decoded->events[1], WireEvent{});
  // A negative int32 comes as ten bytes; int32 keeps the low 32 bits.
  auto nanos = AdjudicatesResponse::decode(answer_with_event(len(4, varint_field(2, static_cast<std::uint64_t>(-5)) +
                                                                  varint_field(1, static_cast<std::uint64_t>(-9)))));
  ASSERT_TRUE(nanos);
  EXPECT_EQ(nanos->events[0].timestamp, (WireTimestamp{-9, -5}));
  auto wide = AdjudicatesResponse::decode(answer_with_event(len(4, varint_field(2, 0x1'0000'0003ull))));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->events[0].timestamp->nanos, 3);
}

TEST(WireDecode, UnknownFieldsAtEveryLevelAreSkipped) {
  // Every wire type, at every level: the answer, the event, the timestamp,
  // the Struct, a map entry, a Value and a ListValue.
  const std::string unknown = varint_field(15, 1) + fixed64_field(16, 2) + len(17, "xyz") + key(18, 5) + "abcd" +
                              key(19, 3) + varint_field(1, 1) + len(2, "in group") + key(19, 4);
  const std::string value = list_value(unknown + len(1, unknown + string_value("v")) + unknown);
  const std::string entry_body = unknown + len(1, "k") + unknown + len(2, unknown + value + unknown) + unknown;
  const std::string event = unknown + len(1, "id") + len(4, unknown + varint_field(1, 3) + unknown) + unknown +
                            len(7, unknown + len(1, entry_body) + unknown) + unknown;
  auto decoded = AdjudicatesResponse::decode(unknown + answer_with_event(event) + unknown);
  ASSERT_TRUE(decoded) << decoded.error().message;
  ASSERT_EQ(decoded->events.size(), 1u);
  EXPECT_EQ(decoded->events[0].event_id, "id");
  EXPECT_EQ(decoded->events[0].timestamp, (WireTimestamp{3, 0}));
  EXPECT_EQ(text_of(json::Value(*decoded->events[0].payload)), R"({"k":["v"]})");
}

TEST(WireDecode, StandaloneStructAndValue) {
  auto object = struct_to_json_object(entry("z", null_value()) + entry("a", struct_value("")));
  ASSERT_TRUE(object);
  EXPECT_EQ(text_of(json::Value(*object)), R"({"a":{},"z":null})");
  auto value = struct_value_to_json(list_value(len(1, varint_field(4, 1)) + len(1, "")));
  ASSERT_TRUE(value);
  EXPECT_EQ(text_of(*value), "[true,null]");
  auto bad = struct_to_json_object(entry("k", key(2, 1)));
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().to_string(), std::string(kPrefix) + "Value.kind: Struct.fields: buffer underflow");
  EXPECT_TRUE(struct_value_to_json("")) << "no kind: null";
}

TEST(WireDecode, LargeAnswersStayLinear) {
  // One payload split into 20,000 occurrences of one entry each, all of one
  // key, and a list built from 20,000 list_value fields: merging must not
  // re-sort or copy what came before.
  std::string split;
  for (int i = 0; i < 20000; ++i) split += len(7, entry("k", varint_field(4, 1)));
  std::string lists;
  for (int i = 0; i < 20000; ++i) lists += list_value(len(1, null_value()));
  auto decoded = AdjudicatesResponse::decode(answer_with_event(split + len(7, entry("l", lists))));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->events[0].payload->size(), 2u);
  EXPECT_EQ(decoded->events[0].payload->find("l")->as_array().size(), 20000u);
}

}  // namespace
}  // namespace revizer::wire
