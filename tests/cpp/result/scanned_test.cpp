#include "model/result/scanned.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/cpp/json/json_cases.h"

namespace revizer::result {
namespace {

using namespace revizer::testing;
using Case = testing::JsonCase;

#define SCAN R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","key_entities":[],)" \
             R"("is_side_effecting":false,"signals":[],"confidence":0.5})"
#define DIGEST R"({"trajectory_id":"t","title":"ti","summary":"s","interim":false,"phases":[],"files_modified":[],)" \
               R"("tools_used":[],"total_events":3,"side_effecting_count":1})"
#define TSCAN R"({"explanation":"x","outcome":"partial","outcome_description":"o","aggregate_severity":"medium",)" \
              R"("signals":[],"adjudication_summary":"a","behavioral_notes":[],"confidence":0.5})"

constexpr const char* kMessage = R"({"scan_type":"Message","data":{"source_event_id":"e","result":)" SCAN "}}";
constexpr const char* kDigest = R"({"scan_type":"TranscriptDigest","data":{"source_event_id":"e","result":)" DIGEST "}}";
constexpr const char* kTranscriptScan =
    R"({"scan_type":"TranscriptScan","data":{"source_event_id":"","result":)" TSCAN "}}";

TEST(Scanned, WritesEachKindAndReadsItBack) {
  for (const char* text : {kMessage, kDigest, kTranscriptScan}) {
    auto scanned = json::decode<Scanned>(value_of(text));
    ASSERT_TRUE(scanned) << scanned.error().message;
    EXPECT_EQ(json::write(json::encode(*scanned)), text);
    auto again = json::decode<Scanned>(json::encode(*scanned));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *scanned);
  }
  auto digest = json::decode<Scanned>(value_of(kDigest));
  ASSERT_EQ(digest->index(), 1u);
  EXPECT_EQ(std::get<ScannedTranscriptDigest>(*digest).result.total_events, 3u);
}

TEST(Scanned, ObjectForm) {
  const Case cases[] = {
      {R"({"data":{"result":)" TSCAN R"(,"source_event_id":""},"scan_type":"TranscriptScan"})", kTranscriptScan},
      {R"({"scan_type":"Message","version":2,"data":{"source_event_id":"e","result":)" SCAN R"(,"x":1},"note":null})",
       kMessage},
      {R"({"scan_type":{"TranscriptDigest":null},"data":{"source_event_id":"e","result":)" DIGEST "}}", kDigest},
      {R"({"scan_type":{"TranscriptDigest":{}},"data":{"source_event_id":"e","result":)" DIGEST "}}",
       "invalid type: map, expected unit", kDigest},
      {R"({"scan_type":"message","data":{}})",
       "unknown variant `message`, expected one of `Message`, `TranscriptDigest`, `TranscriptScan`"},
      {R"({"scan_type":{}})", "invalid value: map, expected map with a single key"},
      {R"({"scan_type":{"Message":null,"TranscriptScan":null}})", "invalid value: map, expected map with a single key"},
      {R"({"scan_type":1,"data":{}})", "invalid type: integer `1`, expected string or map"},
      {R"({"scan_type":0,"data":{}})", "invalid type: integer `0`, expected string or map"},
      {R"({"scan_type":"Message"})", "missing field `data`"},
      {R"({"data":{"source_event_id":"e","result":)" SCAN "}}", "missing field `scan_type`"},
      {R"({})", "missing field `scan_type`"},
      {R"({"data":5})", "missing field `scan_type`"},
      {R"({"data":5,"scan_type":"message"})",
       "unknown variant `message`, expected one of `Message`, `TranscriptDigest`, `TranscriptScan`"},
      {R"({"data":5,"scan_type":"Message"})", "invalid type: integer `5`, expected struct variant Scanned::Message"},
      {R"({"scan_type":"Message","data":{}})", "missing field `source_event_id`"},
      {R"({"scan_type":"Message","data":{"result":)" SCAN "}}", "missing field `source_event_id`"},
      {R"({"scan_type":"Message","data":{"source_event_id":"e"}})", "missing field `result`"},
      {R"({"scan_type":"Message","data":{"source_event_id":null,"result":)" SCAN "}}",
       "invalid type: null, expected a string"},
      // A value's error is reported when its key is reached.
      {R"({"scan_type":"Message","data":{"result":{},"source_event_id":null}})", "missing field `explanation`"},
      {R"({"scan_type":"Message","data":["e",)" SCAN "]}",
       "invalid type: sequence, expected struct variant Scanned::Message"},
      {R"({"scan_type":"TranscriptDigest","data":[]})",
       "invalid type: sequence, expected struct variant Scanned::TranscriptDigest"},
      {R"({"scan_type":"TranscriptScan","data":null})",
       "invalid type: null, expected struct variant Scanned::TranscriptScan"},
      // The digest's dict given as a message scan's result.
      {R"({"scan_type":"Message","data":{"source_event_id":"e","result":)" DIGEST "}}",
       "missing field `explanation`"},
  };
  expect_cases<Scanned>(cases);
}

TEST(Scanned, ContentBeforeTagIsBuffered) {
  // An enumeration inside the result takes {"name": {}} only in buffered content.
  const std::string scan_with_unit_object =
      R"({"explanation":"x","message_type":{"tool_call":{}},"intent":"plan","description":"d",)"
      R"("is_side_effecting":false,"confidence":0.5})";
  const std::string data = R"({"source_event_id":"e","result":)" + scan_with_unit_object + "}";
  EXPECT_EQ(round_trip<Scanned>(R"({"data":)" + data + R"(,"scan_type":"Message"})"), kMessage);
  EXPECT_EQ(round_trip<Scanned>(R"({"scan_type":"Message","data":)" + data + "}"), "invalid type: map, expected unit");

  // Surplus array elements inside the held content use the sequence text.
  const std::string long_result = R"(["x","tool_call","plan","d",[],false,[],0.5,null,0])";
  EXPECT_EQ(round_trip<Scanned>(R"({"data":{"source_event_id":"e","result":)" + long_result +
                                R"(},"scan_type":"Message"})"),
            "invalid length 10, expected 9 elements in sequence");
  EXPECT_EQ(round_trip<Scanned>(R"({"scan_type":"Message","data":{"source_event_id":"e","result":)" + long_result +
                                "}}"),
            "invalid length 10, expected fewer elements in array");
}

TEST(Scanned, ArrayForm) {
  const Case cases[] = {
      {R"(["TranscriptDigest",{"source_event_id":"e","result":)" DIGEST "}]", kDigest},
      {R"([])", "invalid length 0, expected adjacently tagged enum Scanned"},
      {R"(["Message"])", "invalid length 1, expected adjacently tagged enum Scanned"},
      {R"(["Message",{"source_event_id":"e","result":)" SCAN "},1]",
       "invalid length 3, expected fewer elements in array", "invalid length 3, expected 2 elements in sequence"},
      // The data is read before the surplus is counted.
      {R"(["Message",{},1])", "missing field `source_event_id`"},
      {R"([1,{"source_event_id":"e","result":)" DIGEST "}]", "invalid type: integer `1`, expected variant identifier",
       kDigest},
      {R"([3,{}])", "invalid type: integer `3`, expected variant identifier",
       "invalid value: integer `3`, expected variant index 0 <= i < 3"},
      {R"([-1,{}])", "invalid type: integer `-1`, expected variant identifier"},
      {R"([1.0,{}])", "invalid type: floating point `1.0`, expected variant identifier"},
      {R"([{"Message":null},{}])", "invalid type: map, expected variant identifier"},
      {R"(["Scan",{}])", "unknown variant `Scan`, expected one of `Message`, `TranscriptDigest`, `TranscriptScan`"},
      {R"(["Message",[]])", "invalid type: sequence, expected struct variant Scanned::Message"},
  };
  expect_cases<Scanned>(cases);
}

TEST(Scanned, OtherKinds) {
  const Case cases[] = {
      {R"(null)", "invalid type: null, expected adjacently tagged enum Scanned"},
      {R"(true)", "invalid type: boolean `true`, expected adjacently tagged enum Scanned"},
      {R"(7)", "invalid type: integer `7`, expected adjacently tagged enum Scanned"},
      {R"("Message")", R"(invalid type: string "Message", expected adjacently tagged enum Scanned)"},
  };
  expect_cases<Scanned>(cases);
}

}  // namespace
}  // namespace revizer::result
