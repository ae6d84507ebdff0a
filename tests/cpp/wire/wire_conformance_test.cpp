// Our codec against libprotobuf's classes generated from revizer.proto: what
// we encode, the library reads as the same fields and Struct, and writes
// byte for byte as we do; what the library encodes (or what protobuf's
// merge rules make of concatenated messages), we decode as it does.

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>
#include <google/protobuf/struct.pb.h>
#include <google/protobuf/unknown_field_set.h>
#include <google/protobuf/util/json_util.h>
#include <google/protobuf/util/message_differencer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/json/reader.h"
#include "model/json/writer.h"
#include "schema/wire/adjudicates_request.h"
#include "schema/wire/adjudicates_response.h"
#include "schema/wire/struct_encoding.h"
#include "tavimor/revizer/v1/revizer.pb.h"
#include "tests/cpp/wire/proto_bytes.h"

namespace revizer::wire {
namespace {

namespace pb = ::google::protobuf;
namespace v1 = ::tavimor::revizer::v1;

// ---- the reference side ---------------------------------------------------

pb::Struct reference_struct(const std::string& json_text) {
  pb::Struct s;
  const auto status = pb::util::JsonStringToMessage(json_text, &s);
  EXPECT_TRUE(status.ok()) << status.ToString() << " in " << json_text;
  return s;
}

std::string deterministic_bytes(const pb::Message& m) {
  std::string out;
  pb::io::StringOutputStream stream(&out);
  pb::io::CodedOutputStream coded(&stream);
  coded.SetSerializationDeterministic(true);
  m.SerializeToCodedStream(&coded);
  coded.Trim();
  return out;
}

// What the client must make of a Value: our JSON value by the number rule,
// written here independently of the codec.
json::Value oracle(const pb::Value& v);

json::Object oracle_object(const pb::Struct& s) {
  std::vector<std::string> keys;
  for (const auto& [k, value] : s.fields()) keys.push_back(k);
  std::sort(keys.begin(), keys.end());
  json::Object o;
  for (const std::string& k : keys) o.append_new(k, oracle(s.fields().at(k)));
  return o;
}

json::Value oracle(const pb::Value& v) {
  switch (v.kind_case()) {
    case pb::Value::kNumberValue: {
      const double x = v.number_value();
      if (std::isnan(x) || std::isinf(x)) return json::Value();
      if (x != std::floor(x) || std::fabs(x) > 9223372036854775808.0) return json::Value(x);
      if (x >= 9223372036854775808.0) return json::Value(std::numeric_limits<std::int64_t>::max());
      return json::Value(static_cast<std::int64_t>(x));
    }
    case pb::Value::kStringValue: return json::Value(v.string_value());
    case pb::Value::kBoolValue: return json::Value(v.bool_value());
    case pb::Value::kStructValue: return json::Value(oracle_object(v.struct_value()));
    case pb::Value::kListValue: {
      json::Array a;
      for (const pb::Value& e : v.list_value().values()) a.push_back(oracle(e));
      return json::Value(std::move(a));
    }
    default: return json::Value();  // NULL_VALUE or no kind
  }
}

WireEvent oracle_event(const v1::Event& e) {
  WireEvent w{e.event_id(), e.trajectory_id(), e.agent_id(), std::nullopt, e.event_type(), e.event_name(), std::nullopt};
  if (e.has_timestamp()) w.timestamp = WireTimestamp{e.timestamp().seconds(), e.timestamp().nanos()};
  if (e.has_payload()) w.payload = oracle_object(e.payload());
  return w;
}

std::string text_of(const json::Object& o) { return json::write(json::Value(o)); }

// ---- the outbound side ----------------------------------------------------

struct OutboundCase {
  const char* what;
  // Map entries with an empty key: proto3 leaves the empty key out (as we
  // do), while the library writes it anyway, two bytes more per entry. Both
  // read back the same; only these cases are not compared byte for byte.
  int empty_keys;
  std::string event_id;
  WireTimestamp timestamp;
  std::string event_type;
  std::string event_name;
  std::string payload_json;
};

const std::string kCard =
    R"({"CodingAgentCard":{"metadata":{"schema_version":"1","hook_version":"2.3"},"model":"large-3",)"
    R"("workspace_root":"/work/repo","execution_mode":"default","system_instruction":"Be careful.",)"
    R"("capabilities":{"tools":[{"name":"Bash","description":"Runs a command","parameters":[]}],"hook_commands":[],)"
    R"("slash_commands":["/review"],"named_agents":[],"skills":[]},"assets":[{"scope":"project","kind":"skill",)"
    R"("name":"lint","path":"/work/repo/.skills/lint.md","content_sha256":"ab12","content_media_type":"text/markdown",)"
    R"("content":"# Lint\n","content_size_bytes":18446744073709551615,"content_truncated":true}],"settings":[],)"
    R"("normalized_context":{"cwd":"/work/repo","session":"s-1"}}})";

std::string envelope(const std::string& event_id, const std::string& timestamp, const std::string& event) {
  return R"({"event_id":")" + event_id + R"(","trajectory_id":"traj-1","agent":{"id":"agent-7","provider":"acme",)"
         R"("platform":"cli","card":)" + kCard + R"(},"timestamp":")" + timestamp + R"(","event":)" + event +
         R"(,"actor":{"id":"u-1","actor_type":"Human"},"causality":{"correlation_id":"corr-1","causation_id":null,)"
         R"("parent_id":null}})";
}

std::vector<OutboundCase> outbound_cases() {
  return {
      {"a tool call with unsorted arguments", 0, "evt-1", {1741064767, 120000000}, "action", "tool_call",
       envelope("evt-1", "2025-03-04T05:06:07.120Z",
                R"({"category":"Action","payload":{"type":"ToolCall","data":{"call_id":"c-1","tool":"search",)"
                R"("arguments":{"b":1,"a":[true,null,"x"]}}}})")},
      {"an empty event id at the epoch", 0, "", {0, 0}, "observation", "thought",
       envelope("", "1970-01-01T00:00:00Z",
                R"({"category":"Observation","payload":{"type":"Thought","data":{"content":"hm"}}})")},
      {"half a second into a leap second", 0, "evt-leap", {1483228799, 1500000000}, "control", "completed",
       envelope("evt-leap", "2016-12-31T23:59:60.500Z",
                R"({"category":"Control","payload":{"type":"Completed","data":{}}})")},
      {"before the epoch", 0, "evt-old", {-2208988800, 1}, "state", "snapshot",
       envelope("evt-old", "1900-01-01T00:00:00.000000001Z",
                R"({"category":"State","payload":{"type":"Snapshot","data":{"snapshot_id":"snap-1","state":{}}}})")},
      {"numbers, texts and keys of every kind", 0, "evt-n", {5, 0}, "action", "tool_call",
       R"({"z":0,"y":-0.0,"x":1e308,"w":-9223372036854775808,"v":9007199254740993,"u":1.5e-7,"t":-1,)"
       R"("B":"caf\u00e9 \ud83d\ude00 \u0000 \"q\"","a":{},"aa":[],"\u00e9":[[],{},[{}]],"A":{"k":{"k":{"k":[1,2,{"z":null,"a":false}]}}},)"
       R"("C":true})"},
      {"an empty payload", 0, "evt-e", {1, 2}, "", "", "{}"},
      {"empty keys", 2, "evt-k", {1, 2}, "", "", R"({"":{"":[]},"b":1})"},
  };
}

WireEvent our_event(const OutboundCase& c) {
  auto parsed = json::parse(c.payload_json);
  EXPECT_TRUE(parsed) << parsed.error().to_string();
  return WireEvent{c.event_id,   "traj-1",     "agent-7",
                   c.timestamp,  c.event_type, c.event_name,
                   std::move(*parsed).take_object()};
}

v1::Event reference_event(const OutboundCase& c) {
  v1::Event e;
  e.set_event_id(c.event_id);
  e.set_trajectory_id("traj-1");
  e.set_agent_id("agent-7");
  e.mutable_timestamp()->set_seconds(c.timestamp.seconds);
  e.mutable_timestamp()->set_nanos(c.timestamp.nanos);
  e.set_event_type(c.event_type);
  e.set_event_name(c.event_name);
  *e.mutable_payload() = reference_struct(c.payload_json);
  return e;
}

std::string message_of(const std::string& grpc_message) {
  EXPECT_GE(grpc_message.size(), 5u);
  EXPECT_EQ(grpc_message[0], '\0');
  const std::uint32_t length = (static_cast<std::uint8_t>(grpc_message[1]) << 24) |
                               (static_cast<std::uint8_t>(grpc_message[2]) << 16) |
                               (static_cast<std::uint8_t>(grpc_message[3]) << 8) | static_cast<std::uint8_t>(grpc_message[4]);
  EXPECT_EQ(length, grpc_message.size() - 5);
  return grpc_message.substr(5);
}

TEST(WireConformance, TheLibraryReadsOurRequestsAsTheSameContent) {
  AdjudicatesRequest ours;
  for (const OutboundCase& c : outbound_cases()) ours.events.push_back(our_event(c));
  std::string grpc_message;
  ASSERT_TRUE(ours.encode(grpc_message));
  v1::AdjudicatesRequest read;
  ASSERT_TRUE(read.ParseFromString(message_of(grpc_message)));
  ASSERT_EQ(read.events_size(), static_cast<int>(ours.events.size()));
  EXPECT_FALSE(read.flag());
  const auto cases = outbound_cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const v1::Event expected = reference_event(cases[i]);
    EXPECT_TRUE(pb::util::MessageDifferencer::Equals(read.events(static_cast<int>(i)), expected))
        << cases[i].what << "\nread:     " << read.events(static_cast<int>(i)).ShortDebugString()
        << "\nexpected: " << expected.ShortDebugString();
    const std::size_t library_len = read.events(static_cast<int>(i)).ByteSizeLong() - 2 * cases[i].empty_keys;
    EXPECT_EQ(ours.events[i].encoded_len(), library_len) << cases[i].what;
    EXPECT_EQ(AdjudicatesRequest::event_cost(ours.events[i]),
              1 + pb::io::CodedOutputStream::VarintSize64(library_len) + library_len);
  }
}

TEST(WireConformance, OurRequestBytesAreTheLibrarys) {
  v1::AdjudicatesRequest reference;
  AdjudicatesRequest ours;
  for (const OutboundCase& c : outbound_cases()) {
    if (c.empty_keys != 0) continue;
    *reference.add_events() = reference_event(c);
    ours.events.push_back(our_event(c));
  }
  std::string grpc_message;
  ASSERT_TRUE(ours.encode(grpc_message));
  EXPECT_EQ(message_of(grpc_message), deterministic_bytes(reference));
  // One event at a time too, so that a difference names its case.
  for (const OutboundCase& c : outbound_cases()) {
    AdjudicatesRequest one;
    one.events.push_back(our_event(c));
    v1::AdjudicatesRequest ref_one;
    *ref_one.add_events() = reference_event(c);
    std::string bytes;
    ASSERT_TRUE(one.encode(bytes));
    const std::string library_bytes = deterministic_bytes(ref_one);
    if (c.empty_keys == 0) {
      EXPECT_EQ(message_of(bytes), library_bytes) << c.what;
    } else {
      EXPECT_EQ(message_of(bytes).size() + 2 * c.empty_keys, library_bytes.size()) << c.what;
      v1::AdjudicatesRequest ours_read;
      ASSERT_TRUE(ours_read.ParseFromString(message_of(bytes)));
      EXPECT_TRUE(pb::util::MessageDifferencer::Equals(ours_read, ref_one)) << c.what;
    }
  }
}

TEST(WireConformance, JsonValuesEncodeAsTheLibrarysValue) {
  const char* texts[] = {"null", "true", "false", "0", "-0.0", "3", "-2.5", "18446744073709551615", "\"\"", "\"x\"",
                         "[]", "{}", R"([1,"a",[null,{}],{"b":[]}])", R"({"b":2,"a":{"d":null,"c":[true]}})"};
  for (const char* text : texts) {
    auto ours = json::parse(text);
    ASSERT_TRUE(ours) << text;
    pb::Value reference;
    ASSERT_TRUE(pb::util::JsonStringToMessage(text, &reference).ok()) << text;
    EXPECT_EQ(json_to_struct_value(*ours), deterministic_bytes(reference)) << text;
  }
}

// ---- the inbound side -----------------------------------------------------

void expect_decodes_as_the_library(const std::string& message, const char* what) {
  v1::AdjudicatesResponse reference;
  ASSERT_TRUE(reference.ParseFromString(message)) << what;
  auto ours = AdjudicatesResponse::decode(message);
  ASSERT_TRUE(ours) << what << ": " << ours.error().message;
  ASSERT_EQ(ours->events.size(), static_cast<std::size_t>(reference.events_size())) << what;
  for (int i = 0; i < reference.events_size(); ++i) {
    const WireEvent expected = oracle_event(reference.events(i));
    const WireEvent& got = ours->events[static_cast<std::size_t>(i)];
    EXPECT_EQ(got, expected) << what << " event " << i << "\ngot:      "
                             << (got.payload ? text_of(*got.payload) : "(none)") << "\nexpected: "
                             << (expected.payload ? text_of(*expected.payload) : "(none)");
    // Keys come sorted, at every level.
    if (got.payload && expected.payload) {
      EXPECT_EQ(text_of(*got.payload), text_of(*expected.payload)) << what;
    }
  }
}

v1::Event answer_event(const std::string& id, const std::string& payload_json) {
  v1::Event e;
  e.set_event_id(id);
  e.set_trajectory_id("traj-1");
  e.set_agent_id("agent-7");
  e.mutable_timestamp()->set_seconds(1741064767);
  e.mutable_timestamp()->set_nanos(5);
  e.set_event_type("action");
  e.set_event_name("tool_call");
  *e.mutable_payload() = reference_struct(payload_json);
  return e;
}

TEST(WireConformance, AnswersTheLibraryWritesDecodeAsItReadsThem) {
  v1::AdjudicatesResponse r;
  *r.add_events() = answer_event("a-1", R"({"decision":"Deny","mode":"govern","reason":"no",)"
                                        R"("metadata":[{"id":"p-1","escalate":false,"map":{"z":"1","a":"2"}}],)"
                                        R"("steering":{"instructions":["stop","think"],"explanation":""}})");
  *r.add_events() = answer_event("a-2", R"({"decision":"Allow"})");
  v1::Event empty_payload = answer_event("a-3", "{}");
  *r.add_events() = empty_payload;
  v1::Event no_payload = answer_event("a-4", "{}");
  no_payload.clear_payload();
  no_payload.clear_timestamp();
  *r.add_events() = no_payload;
  *r.add_events() = v1::Event();  // every field absent

  // Numbers the rule treats specially, and a Value with no kind at all.
  v1::Event numbers = answer_event("a-5", "{}");
  auto& fields = *numbers.mutable_payload()->mutable_fields();
  const double two63 = 9223372036854775808.0;
  const double specials[] = {3.0, 2.5, 1e300, -0.0, two63, -two63, two63 * 2, std::nan(""),
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (std::size_t i = 0; i < std::size(specials); ++i) fields[std::string("n").append(std::to_string(i))].set_number_value(specials[i]);
  fields["none"];  // no kind
  fields["list"].mutable_list_value()->add_values()->set_number_value(std::nan(""));
  fields["list"].mutable_list_value()->add_values();
  *r.add_events() = numbers;

  const std::string message = r.SerializeAsString();
  expect_decodes_as_the_library(message, "answers");

  auto ours = AdjudicatesResponse::decode(message);
  ASSERT_TRUE(ours);
  EXPECT_TRUE(ours->events[2].payload && ours->events[2].payload->empty());
  EXPECT_FALSE(ours->events[3].payload.has_value());
  EXPECT_FALSE(ours->events[3].timestamp.has_value());
  EXPECT_EQ(ours->events[4], WireEvent{});
  EXPECT_EQ(text_of(*ours->events[5].payload),
            R"({"list":[null,null],"n0":3,"n1":2.5,"n2":1e+300,"n3":0,"n4":9223372036854775807,)"
            R"("n5":-9223372036854775808,"n6":1.8446744073709552e+19,"n7":null,"n8":null,"n9":null,"none":null})");
  EXPECT_EQ(text_of(*ours->events[0].payload),
            R"({"decision":"Deny","metadata":[{"escalate":false,"id":"p-1","map":{"a":"2","z":"1"}}],)"
            R"("mode":"govern","reason":"no","steering":{"explanation":"","instructions":["stop","think"]}})");
}

// Adds one unknown field of every wire type to a message.
void add_unknowns(pb::Message& m) {
  pb::UnknownFieldSet* u = m.GetReflection()->MutableUnknownFields(&m);
  u->AddVarint(100, 7);
  u->AddFixed32(101, 7);
  u->AddFixed64(102, 7);
  u->AddLengthDelimited(103, "skip me");
  pb::UnknownFieldSet* group = u->AddGroup(104);
  group->AddVarint(1, 1);
  group->AddLengthDelimited(2, "in a group");
}

TEST(WireConformance, UnknownFieldsAtEveryLevelDecodeAsAbsent) {
  v1::AdjudicatesResponse r;
  v1::Event* e = r.add_events();
  *e = answer_event("u-1", R"({"s":{"l":[{"k":"v"}]}})");
  add_unknowns(r);
  add_unknowns(*e);
  add_unknowns(*e->mutable_timestamp());
  add_unknowns(*e->mutable_payload());
  pb::Value& s = (*e->mutable_payload()->mutable_fields())["s"];
  add_unknowns(s);
  add_unknowns(*s.mutable_struct_value());
  pb::Value& l = (*s.mutable_struct_value()->mutable_fields())["l"];
  add_unknowns(l);
  add_unknowns(*l.mutable_list_value());
  add_unknowns(*l.mutable_list_value()->mutable_values(0));
  const std::string message = r.SerializeAsString();
  expect_decodes_as_the_library(message, "unknown fields");
  auto ours = AdjudicatesResponse::decode(message);
  ASSERT_TRUE(ours);
  EXPECT_EQ(text_of(*ours->events[0].payload), R"({"s":{"l":[{"k":"v"}]}})");
}

TEST(WireConformance, ConcatenatedMessagesMergeAsTheLibraryMergesThem) {
  using namespace revizer::wire::testing;
  // One event sent in parts: protobuf reads a message given in pieces as
  // their merge (last scalar wins, message fields merge, repeated append).
  v1::Event first = answer_event("first", R"({"a":1,"s":{"x":1},"l":[1]})");
  v1::Event second;
  second.set_event_id("second");
  second.mutable_timestamp()->set_nanos(9);
  *second.mutable_payload() = reference_struct(R"({"b":2,"s":{"y":2},"l":[2]})");
  v1::Event third;
  third.set_event_name("again");
  third.mutable_timestamp()->set_seconds(-4);

  struct Case {
    const char* what;
    std::string message;
  };
  const std::string parts = first.SerializeAsString() + second.SerializeAsString() + third.SerializeAsString();
  // A Value given twice inside one map entry, and a struct_value and a
  // list_value given twice inside one Value (the library writes neither,
  // but reads both as merges).
  const std::string twice_in_entry =
      len(7, len(1, len(1, "s") + len(2, struct_value(entry("x", null_value()))) + len(2, struct_value(entry("y", null_value())))));
  const std::string twice_in_value =
      len(7, entry("s", struct_value(entry("b", null_value())) + struct_value(entry("a", varint_field(4, 1)))) +
                 entry("l", list_value(len(1, string_value("1"))) + list_value(len(1, string_value("2")))));
  const std::string replaced_kind = len(7, entry("k", struct_value(entry("x", null_value())) + string_value("now a string")));
  const std::string repeated_key = len(7, entry("k", string_value("old")) + entry("k", string_value("new")));
  const Case cases[] = {
      {"an event in three parts", answer_with_event(parts)},
      {"payload and timestamp in two parts each",
       answer_with_event(len(4, varint_field(1, 5)) + len(7, entry("a", null_value())) + len(4, varint_field(2, 6)) +
                         len(7, entry("b", null_value())))},
      {"a Value twice in one map entry", answer_with_event(twice_in_entry)},
      {"a struct_value and a list_value twice in one Value", answer_with_event(twice_in_value)},
      {"a kind replaced by another", answer_with_event(replaced_kind)},
      {"a key repeated in one Struct", answer_with_event(repeated_key)},
      {"an empty payload merged with a full one", answer_with_event(len(7, "") + len(7, entry("z", null_value())))},
      {"events interleaved with unknown fields", varint_field(2, 1) + answer_with_event(parts) + len(3, "x") +
                                                     answer_with_event(first.SerializeAsString())},
  };
  for (const Case& c : cases) expect_decodes_as_the_library(c.message, c.what);
}

TEST(WireConformance, WhatTheLibraryRefusesWeRefuseToo) {
  using namespace revizer::wire::testing;
  // Inputs a conforming decoder must refuse; the library agrees on each.
  const std::string cases[] = {
      answer_with_event(len(1, "\xFF")),
      answer_with_event(len(7, entry("\xC3", null_value()))),
      key(1, 2) + varint(9) + "short",
      std::string("\x0A\x02\x0A\x03" "abc", 7),
      std::string(11, '\x80'),
  };
  for (const std::string& bytes : cases) {
    v1::AdjudicatesResponse reference;
    EXPECT_FALSE(reference.ParseFromString(bytes));
    EXPECT_FALSE(AdjudicatesResponse::decode(bytes));
  }
}

}  // namespace
}  // namespace revizer::wire
