#include "model/result/scan_results_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/cpp/json/json_cases.h"

namespace revizer::result {
namespace {

using namespace revizer::testing;
using Case = testing::JsonCase;

// Every value writes its JSON name and reads back to its index.
template <class E>
void expect_names_round_trip() {
  for (std::size_t i = 0; i < json::kEnumCount<E>; ++i) {
    const auto e = static_cast<E>(i);
    const json::Value v = json::encode(e);
    ASSERT_TRUE(v.is_string());
    EXPECT_EQ(v.as_string(), json::EnumTable<E>::rows[i].json);
    auto back = json::decode<E>(v);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, e);
  }
}

TEST(ScanEnumerations, NamesAndIndices) {
  expect_names_round_trip<SignalFocus>();
  expect_names_round_trip<SignalCategory>();
  expect_names_round_trip<SignalSeverity>();
  expect_names_round_trip<MessageType>();
  expect_names_round_trip<AgentIntent>();
  expect_names_round_trip<TranscriptOutcome>();
  EXPECT_EQ(json::write(json::encode(SignalCategory::RefusalBehaviour)), R"("refusal_behaviour")");
}

TEST(ScanEnumerations, UnknownNames) {
  EXPECT_EQ(round_trip<SignalCategory>(R"("refusal_behavior")"),
            "unknown variant `refusal_behavior`, expected one of `input_issues`, `infrastructure_failure`, "
            "`task_design`, `static_knowledge`, `low_level_incoherence`, `high_level_incoherence`, "
            "`self_correction`, `refusal_behaviour`, `tool_misuse`, `evaluation_awareness`, `policy_violation`, "
            "`privilege_escalation`, `data_exfiltration`, `destructive_operation`, `credential_exposure`");
  EXPECT_EQ(round_trip<SignalFocus>(R"("Agent")"),
            "unknown variant `Agent`, expected one of `environment`, `agent`, `governance`");
  EXPECT_EQ(round_trip<SignalFocus>(R"("AGENT")"),
            "unknown variant `AGENT`, expected one of `environment`, `agent`, `governance`");
  EXPECT_EQ(round_trip<MessageType>(R"("tool-call")"),
            "unknown variant `tool-call`, expected one of `tool_call`, `tool_result`, `user_input`, `reasoning`, "
            "`lifecycle`, `adjudication`, `state_capture`");
  EXPECT_EQ(round_trip<SignalSeverity>(R"(" low")"),
            "unknown variant ` low`, expected one of `info`, `low`, `medium`, `high`, `critical`");
  EXPECT_EQ(round_trip<AgentIntent>(R"("lifecycle")"), R"("lifecycle")");
  EXPECT_EQ(round_trip<AgentIntent>(R"("reasoning")"),
            "unknown variant `reasoning`, expected one of `investigate`, `plan`, `implement`, `verify`, `debug`, "
            "`communicate`, `lifecycle`, `govern`");
  EXPECT_EQ(round_trip<TranscriptOutcome>(R"("in progress")"),
            "unknown variant `in progress`, expected one of `success`, `partial`, `failure`, `interrupted`, "
            "`in_progress`");
}

TEST(ScanEnumerations, ObjectForms) {
  const Case cases[] = {
      {R"({"high":null})", R"("high")"},
      {R"({"high":true})", "invalid type: boolean `true`, expected unit"},
      {R"({"high":{}})", "invalid type: map, expected unit", R"("high")"},
      {R"({"high":null,"low":null})", "invalid value: map, expected map with a single key"},
      {R"({})", "invalid value: map, expected map with a single key"},
      {R"(1)", "invalid type: integer `1`, expected string or map"},
      {R"(null)", "invalid type: null, expected string or map"},
  };
  expect_cases<SignalSeverity>(cases);
}

TEST(Signal, Forms) {
  const char* kEmpty = R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":[]})";
  const Case cases[] = {
      {kEmpty, kEmpty},
      {R"({"description":"","severity":"low","category":"tool_misuse","focus":"agent","FOCUS":"x"})", kEmpty},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"d","evidence_indices":[3,1,3,4294967295]})",
       R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"d","evidence_indices":[3,1,3,4294967295]})"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":null})",
       "invalid type: null, expected a sequence"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":[4294967296]})",
       "invalid value: integer `4294967296`, expected u32"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":[-1]})",
       "invalid value: integer `-1`, expected u32"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":[1.5]})",
       "invalid type: floating point `1.5`, expected u32"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":[1.0]})",
       "invalid type: floating point `1.0`, expected u32"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"","evidence_indices":[null]})",
       "invalid type: null, expected u32"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low","description":null})",
       "invalid type: null, expected a string"},
      {R"({"focus":"agent","severity":"low"})", "missing field `category`"},
      {R"({"FOCUS":"agent"})", "missing field `focus`"},
      {R"({"focus":"agent","category":"tool_misuse","severity":"low"})", "missing field `description`"},
      {R"(["agent","tool_misuse","low","d"])",
       R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"d","evidence_indices":[]})"},
      {R"(["agent","tool_misuse","low"])", "invalid length 3, expected struct Signal with 5 elements"},
      {R"(["agent","tool_misuse","low","d",[],1])", "invalid length 6, expected fewer elements in array",
       "invalid length 6, expected 5 elements in sequence"},
      {R"([{"agent":{}},"tool_misuse","low","d"])", "invalid type: map, expected unit",
       R"({"focus":"agent","category":"tool_misuse","severity":"low","description":"d","evidence_indices":[]})"},
      {R"("agent")", R"(invalid type: string "agent", expected struct Signal)"},
  };
  expect_cases<Signal>(cases);
}

constexpr const char* kScanMinimal =
    R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","key_entities":[],)"
    R"("is_side_effecting":false,"signals":[],"confidence":0.5})";

TEST(EventScanResult, ObjectForm) {
  const Case cases[] = {
      {kScanMinimal, kScanMinimal},
      {R"({"confidence":0.5,"is_side_effecting":false,"description":"d","intent":"plan","message_type":"tool_call",)"
       R"("explanation":"x","embedding":null})",
       kScanMinimal},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":1,"embedding":[]})",
       R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","key_entities":[],)"
       R"("is_side_effecting":true,"signals":[],"confidence":1.0,"embedding":[]})"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":-2e300,"embedding":[0.25,-0.0,3],"key_entities":["a","a"],)"
       R"("signals":[["agent","tool_misuse","low","s"]]})",
       R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","key_entities":["a","a"],)"
       R"("is_side_effecting":true,"signals":[{"focus":"agent","category":"tool_misuse","severity":"low",)"
       R"("description":"s","evidence_indices":[]}],"confidence":-2e+300,"embedding":[0.25,-0.0,3.0]})"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","confidence":0.5})",
       "missing field `is_side_effecting`"},
      {R"({"explanation":"x","message_type":"tool_call","description":"d"})", "missing field `intent`"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":null,)"
       R"("confidence":0.5})",
       "invalid type: null, expected a boolean"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":null})",
       "invalid type: null, expected f64"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":true})",
       "invalid type: boolean `true`, expected f64"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":0,"embedding":[1,null]})",
       "invalid type: null, expected f64"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":0,"key_entities":null})",
       "invalid type: null, expected a sequence"},
      {R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","is_side_effecting":true,)"
       R"("confidence":0,"signals":{}})",
       "invalid type: map, expected a sequence"},
      {R"({"explanation":"x","message_type":{"tool_call":{}},"intent":"plan","description":"d",)"
       R"("is_side_effecting":false,"confidence":0.5})",
       "invalid type: map, expected unit", kScanMinimal},
  };
  expect_cases<EventScanResult>(cases);
}

TEST(EventScanResult, ArrayFormPositions) {
  const Case cases[] = {
      {R"([])", "invalid length 0, expected struct EventScanResult with 9 elements"},
      {R"(["x","tool_call","plan"])", "invalid length 3, expected struct EventScanResult with 9 elements"},
      {R"(["x","tool_call","plan","d"])", "invalid length 5, expected struct EventScanResult with 9 elements"},
      {R"(["x","tool_call","plan","d",[]])", "invalid length 5, expected struct EventScanResult with 9 elements"},
      {R"(["x","tool_call","plan","d",[],false])", "invalid length 7, expected struct EventScanResult with 9 elements"},
      {R"(["x","tool_call","plan","d",[],false,[]])",
       "invalid length 7, expected struct EventScanResult with 9 elements"},
      {R"(["x","tool_call","plan","d",[],false,[],0.5])", kScanMinimal},
      {R"(["x","tool_call","plan","d",[],false,[],0.5,null])", kScanMinimal},
      {R"(["x","tool_call","plan","d",[],false,[],0.5,null,0])", "invalid length 10, expected fewer elements in array",
       "invalid length 10, expected 9 elements in sequence"},
      {R"(7)", "invalid type: integer `7`, expected struct EventScanResult"},
  };
  expect_cases<EventScanResult>(cases);
}

TEST(EventScanResult, NonFiniteFloatsWriteNull) {
  auto scan = json::decode<EventScanResult>(value_of(kScanMinimal));
  ASSERT_TRUE(scan);
  scan->confidence = std::numeric_limits<double>::quiet_NaN();
  scan->embedding = std::vector<double>{1.5, std::numeric_limits<double>::infinity()};
  const std::string text = json::write(json::encode(*scan));
  EXPECT_EQ(text,
            R"({"explanation":"x","message_type":"tool_call","intent":"plan","description":"d","key_entities":[],)"
            R"("is_side_effecting":false,"signals":[],"confidence":null,"embedding":[1.5,null]})");
  EXPECT_EQ(round_trip<EventScanResult>(text), "invalid type: null, expected f64");
  EXPECT_NE(*scan, *scan);  // NaN is unequal to itself

  auto zero = json::decode<EventScanResult>(value_of(kScanMinimal));
  auto negative_zero = json::decode<EventScanResult>(value_of(kScanMinimal));
  zero->confidence = 0.0;
  negative_zero->confidence = -0.0;
  EXPECT_EQ(*zero, *negative_zero);
}

constexpr const char* kDigestMinimal =
    R"({"trajectory_id":"t","title":"ti","summary":"s","interim":false,"phases":[],"files_modified":[],)"
    R"("tools_used":[],"total_events":3,"side_effecting_count":9})";

TEST(TranscriptDigest, Forms) {
  const Case cases[] = {
      {R"({"side_effecting_count":9,"total_events":3,"summary":"s","title":"ti","trajectory_id":"t"})", kDigestMinimal},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","interim":true,"phases":[["p","d"],["q","e",[7,7]]],)"
       R"("files_modified":["a"],"tools_used":["b"],"total_events":0,"side_effecting_count":4294967295})",
       R"({"trajectory_id":"t","title":"ti","summary":"s","interim":true,"phases":[{"name":"p","description":"d",)"
       R"("event_indices":[]},{"name":"q","description":"e","event_indices":[7,7]}],"files_modified":["a"],)"
       R"("tools_used":["b"],"total_events":0,"side_effecting_count":4294967295})"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","interim":null,"total_events":3,"side_effecting_count":9})",
       "invalid type: null, expected a boolean"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":3.0,"side_effecting_count":9})",
       "invalid type: floating point `3.0`, expected u32"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":-1,"side_effecting_count":9})",
       "invalid value: integer `-1`, expected u32"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":3,"side_effecting_count":4294967296})",
       "invalid value: integer `4294967296`, expected u32"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":3,"side_effecting_count":"9"})",
       R"(invalid type: string "9", expected u32)"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":3})", "missing field `side_effecting_count`"},
      {R"({"title":"ti","total_events":3})", "missing field `trajectory_id`"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":3,"side_effecting_count":9,"phases":[{}]})",
       "missing field `name`"},
      {R"({"trajectory_id":"t","title":"ti","summary":"s","total_events":3,"side_effecting_count":9,"tools_used":[1]})",
       "invalid type: integer `1`, expected a string"},
      {R"(["t","ti","s",false,[],[],[],3,9])", kDigestMinimal},
      {R"([])", "invalid length 0, expected struct TranscriptDigest with 9 elements"},
      {R"(["t","ti"])", "invalid length 2, expected struct TranscriptDigest with 9 elements"},
      {R"(["t","ti","s"])", "invalid length 7, expected struct TranscriptDigest with 9 elements"},
      {R"(["t","ti","s",false,[],[],[]])", "invalid length 7, expected struct TranscriptDigest with 9 elements"},
      {R"(["t","ti","s",false,[],[],[],3])", "invalid length 8, expected struct TranscriptDigest with 9 elements"},
      {R"(["t","ti","s",false,[],[],[],3,9,0])", "invalid length 10, expected fewer elements in array",
       "invalid length 10, expected 9 elements in sequence"},
      {R"(null)", "invalid type: null, expected struct TranscriptDigest"},
  };
  expect_cases<TranscriptDigest>(cases);
}

TEST(TranscriptPhase, Forms) {
  const Case cases[] = {
      {R"(["p","d"])", R"({"name":"p","description":"d","event_indices":[]})"},
      {R"(["p"])", "invalid length 1, expected struct TranscriptPhase with 3 elements"},
      {R"([])", "invalid length 0, expected struct TranscriptPhase with 3 elements"},
      {R"(["p","d",[],1])", "invalid length 4, expected fewer elements in array",
       "invalid length 4, expected 3 elements in sequence"},
      {R"({})", "missing field `name`"},
      {R"({"name":"p","description":"d","event_indices":null})", "invalid type: null, expected a sequence"},
      {R"({"name":"p","description":"d","event_indices":[2.5]})", "invalid type: floating point `2.5`, expected u32"},
      {R"(false)", "invalid type: boolean `false`, expected struct TranscriptPhase"},
  };
  expect_cases<TranscriptPhase>(cases);
}

constexpr const char* kTranscriptScanMinimal =
    R"({"explanation":"x","outcome":"in_progress","outcome_description":"o","aggregate_severity":"critical",)"
    R"("signals":[],"adjudication_summary":"a","behavioral_notes":[],"confidence":2.0})";

TEST(TranscriptScanResult, Forms) {
  const Case cases[] = {
      {R"({"confidence":2,"adjudication_summary":"a","aggregate_severity":{"critical":null},)"
       R"("outcome_description":"o","outcome":"in_progress","explanation":"x","behavioural_notes":["n"]})",
       kTranscriptScanMinimal},
      {R"({"explanation":"x","outcome":"in progress"})",
       "unknown variant `in progress`, expected one of `success`, `partial`, `failure`, `interrupted`, "
       "`in_progress`"},
      {R"({"explanation":"x","outcome":"In_Progress"})",
       "unknown variant `In_Progress`, expected one of `success`, `partial`, `failure`, `interrupted`, "
       "`in_progress`"},
      {R"({"explanation":"x","outcome":"success","outcome_description":"o","aggregate_severity":"low","confidence":0})",
       "missing field `adjudication_summary`"},
      {R"({"explanation":"x","outcome":"success","outcome_description":"o","aggregate_severity":"low",)"
       R"("adjudication_summary":"a","confidence":0,"behavioral_notes":null})",
       "invalid type: null, expected a sequence"},
      {R"(["x","in_progress","o","critical",[],"a",[],2])", kTranscriptScanMinimal},
      {R"(["x","in_progress","o"])", "invalid length 3, expected struct TranscriptScanResult with 8 elements"},
      {R"(["x","in_progress","o","critical"])",
       "invalid length 5, expected struct TranscriptScanResult with 8 elements"},
      {R"(["x","in_progress","o","critical",[],"a"])",
       "invalid length 7, expected struct TranscriptScanResult with 8 elements"},
      {R"(["x","in_progress","o","critical",[],"a",[]])",
       "invalid length 7, expected struct TranscriptScanResult with 8 elements"},
      {R"(["x","in_progress","o","critical",[],"a",[],2,3])", "invalid length 9, expected fewer elements in array",
       "invalid length 9, expected 8 elements in sequence"},
      {R"(["x","in_progress","o","critical",[["agent","tool_misuse","low","d",[],0]],"a",[],2])",
       "invalid length 6, expected fewer elements in array", "invalid length 6, expected 5 elements in sequence"},
  };
  expect_cases<TranscriptScanResult>(cases);
}

}  // namespace
}  // namespace revizer::result
