// The request encoder on its own: sizes, the gRPC prefix, the size limit,
// the wire timestamp, and values nested or spread far beyond any real event.

#include <gtest/gtest.h>

#include <string>

#include "model/json/reader.h"
#include "model/json/writer.h"
#include "schema/wire/adjudicates_request.h"
#include "schema/wire/adjudicates_response.h"
#include "schema/wire/struct_encoding.h"

namespace revizer::wire {
namespace {

json::Object object_of(const char* text) {
  auto parsed = json::parse(text);
  EXPECT_TRUE(parsed) << text;
  return std::move(*parsed).take_object();
}

WireEvent event(std::string id, json::Object payload) {
  return WireEvent{std::move(id), "traj", "agent", WireTimestamp{1, 2}, "action", "tool_call", std::move(payload)};
}

std::string encoded(const AdjudicatesRequest& request) {
  std::string out;
  EXPECT_TRUE(request.encode(out));
  return out;
}

// The answer decoder reads a request's bytes too: both messages hold their
// events in field 1.
AdjudicatesResponse read_back(const std::string& grpc_message) {
  auto decoded = AdjudicatesResponse::decode(std::string_view(grpc_message).substr(5));
  EXPECT_TRUE(decoded) << decoded.error().message;
  return decoded ? std::move(*decoded) : AdjudicatesResponse{};
}

TEST(WireTimestamp, FromDaysSecondsAndNanos) {
  struct Case {
    std::int64_t days;
    std::uint32_t seconds_of_day;
    std::uint32_t nanos;
    WireTimestamp expected;
  };
  const Case cases[] = {
      {0, 0, 0, {0, 0}},
      {20151, 18367, 120000000, {1741064767, 120000000}},  // 2025-03-04T05:06:07.120Z
      {17166, 86399, 1500000000, {1483228799, 1500000000}},  // 2016-12-31T23:59:60.5Z keeps its nanos
      {-1, 86399, 999999999, {-1, 999999999}},
      {-719528, 0, 0, {-62167219200, 0}},  // 0000-01-01
      {2932896, 86399, 0, {253402300799, 0}},  // 9999-12-31T23:59:59Z
  };
  for (const Case& c : cases) EXPECT_EQ(wire_timestamp(c.days, c.seconds_of_day, c.nanos), c.expected) << c.days;
}

TEST(WireEncode, RequestFramingAndFieldRules) {
  AdjudicatesRequest empty;
  EXPECT_EQ(encoded(empty), std::string("\0\0\0\0\0", 5));

  // Empty texts and zero numbers stay off the wire; the epoch timestamp and
  // an empty payload still go out, as fields of length 0.
  AdjudicatesRequest bare;
  bare.events.push_back(WireEvent{"", "", "", WireTimestamp{0, 0}, "", "", json::Object{}});
  EXPECT_EQ(encoded(bare), std::string("\0\0\0\0\x06\x0A\x04\x22\x00\x3A\x00", 11));
  EXPECT_EQ(bare.events[0].encoded_len(), 4u);

  AdjudicatesRequest one;
  one.events.push_back(WireEvent{"e", "", "", WireTimestamp{-1, 3}, "", "x", std::nullopt});
  EXPECT_EQ(encoded(one), std::string("\0\0\0\0\x17\x0A\x15\x0A\x01"
                                      "e\x22\x0D\x08\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01\x10\x03\x32\x01x",
                                      28));

  // Appends to what the buffer holds.
  std::string out = "head";
  ASSERT_TRUE(bare.encode(out));
  EXPECT_EQ(out.substr(0, 4), "head");
  EXPECT_EQ(out.size(), 4u + 11u);
}

TEST(WireEncode, EventCostAndTheSixteenMebibyteLimit) {
  // L = 1 + varint(n) + n for an event holding only an id of n bytes.
  struct Case {
    std::size_t id_bytes;
    std::uint64_t len;
    std::uint64_t cost;
  };
  const Case cases[] = {{98, 100, 102}, {197, 200, 203}, {16777206, 16777211, 16777216}, {16777207, 16777212, 16777217}};
  for (const Case& c : cases) {
    const WireEvent e{std::string(c.id_bytes, 'i'), "", "", std::nullopt, "", "", std::nullopt};
    EXPECT_EQ(e.encoded_len(), c.len);
    EXPECT_EQ(AdjudicatesRequest::event_cost(e), c.cost);
  }
  AdjudicatesRequest at_limit;
  at_limit.events.push_back(WireEvent{std::string(16777206, 'i'), "", "", std::nullopt, "", "", std::nullopt});
  std::string out;
  ASSERT_TRUE(at_limit.encode(out));
  EXPECT_EQ(out.size(), 5u + 16777216u);
  EXPECT_EQ(out.substr(0, 5), std::string("\0\x01\0\0\0", 5));

  AdjudicatesRequest over;
  over.events.push_back(WireEvent{std::string(16777207, 'i'), "", "", std::nullopt, "", "", std::nullopt});
  std::string untouched = "kept";
  auto refused = over.encode(untouched);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, common::GrpcCode::OutOfRange);
  EXPECT_EQ(refused.error().message, "Error, encoded message length too large: found 16777217 bytes, the limit is: 16777216 bytes");
  EXPECT_EQ(untouched, "kept");
  EXPECT_EQ(decoded_message_too_large(16777217, kMaxMessageBytes).message,
            "Error, decoded message length too large: found 16777217 bytes, the limit is: 16777216 bytes");
}

TEST(WireEncode, StructKeysGoOutSortedAndNumbersAsDoubles) {
  AdjudicatesRequest request;
  request.events.push_back(event("e", object_of(R"({"b":1,"a":[true,null,"x"],"c":{"z":1.5,"y":-2}})")));
  const std::string bytes = encoded(request);
  const std::string payload = json_to_struct_value(json::Value(object_of(R"({"b":1,"a":[true,null,"x"]})")));
  // Value{struct_value: {fields: a -> list[...], fields: b -> 1.0}}
  const std::string expected_payload =
      std::string("\x2A\x26", 2) +
      std::string("\x0A\x14\x0A\x01" "a\x12\x0F\x32\x0D\x0A\x02\x20\x01\x0A\x02\x08\x00\x0A\x03\x1A\x01x", 22) +
      std::string("\x0A\x0E\x0A\x01" "b\x12\x09\x11\x00\x00\x00\x00\x00\x00\xF0\x3F", 16);
  EXPECT_EQ(payload.size(), expected_payload.size());
  EXPECT_EQ(payload, expected_payload);
  // Read back: the keys in byte order, whole floats as integers again.
  const AdjudicatesResponse back = read_back(bytes);
  ASSERT_EQ(back.events.size(), 1u);
  EXPECT_EQ(json::write(json::Value(*back.events[0].payload)), R"({"a":[true,null,"x"],"b":1,"c":{"y":-2,"z":1.5}})");
  EXPECT_EQ(back.events[0], request.events[0]);
}

TEST(WireEncode, DeepAndWideValuesEncodeWithoutRecursion) {
  // Nested far past what any decoder accepts: sizes and bytes still agree,
  // and the stack is not involved.
  json::Value deep = json::Value("core");
  for (int i = 0; i < 200000; ++i) {
    json::Object o;
    o.append_new(i % 2 ? "k" : "", std::move(deep));
    json::Array a;
    a.push_back(json::Value(std::move(o)));
    deep = json::Value(std::move(a));
  }
  json::Object root;
  root.append_new("deep", std::move(deep));
  AdjudicatesRequest request;
  request.events.push_back(event("deep", std::move(root)));
  const std::string bytes = encoded(request);
  EXPECT_EQ(bytes.size(), 5 + AdjudicatesRequest::event_cost(request.events[0]));
  auto refused = AdjudicatesResponse::decode(std::string_view(bytes).substr(5));
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().message.find("recursion limit reached"), std::string::npos);

  // Many keys in reverse order, and a long list.
  json::Object wide;
  for (int i = 4999; i >= 0; --i) wide.append_new(std::string("key").append(std::to_string(i)), json::Value(i));
  json::Array list(50000, json::Value(0.25));
  wide.append_new("list", json::Value(std::move(list)));
  AdjudicatesRequest many;
  many.events.push_back(event("wide", std::move(wide)));
  const AdjudicatesResponse back = read_back(encoded(many));
  ASSERT_EQ(back.events.size(), 1u);
  EXPECT_EQ(back.events[0], many.events[0]);
  const auto& members = back.events[0].payload->members();
  EXPECT_TRUE(std::is_sorted(members.begin(), members.end(),
                             [](const json::Member& a, const json::Member& b) { return a.key < b.key; }));
}

}  // namespace
}  // namespace revizer::wire
