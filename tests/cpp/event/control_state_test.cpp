// The lifecycle and snapshot payloads' JSON forms.
#include "model/event/lifecycle_record.h"
#include "model/event/snapshot_record.h"

#include "tests/cpp/json/json_cases.h"

namespace revizer::event {
namespace {

using testing::expect_cases;
using testing::JsonCase;

TEST(Completed, SummaryIsOptional) {
  const JsonCase cases[] = {
      {R"({})", R"({"summary":null})"},
      {R"({"summary":null})", R"({"summary":null})"},
      {R"({"summary":""})", R"({"summary":""})"},
      {R"({"summary":1})", "invalid type: integer `1`, expected a string"},
      {R"([null])", R"({"summary":null})"},
      {R"([])", "invalid length 0, expected struct Completed with 1 element"},
      {R"(null)", "invalid type: null, expected struct Completed"},
  };
  expect_cases<Completed>(cases);
}

TEST(FailedAndSuspended, SameShapeOwnNames) {
  const JsonCase failed[] = {
      {R"({"reason":"r","note":1})", R"({"reason":"r"})"},
      {R"({"Reason":"r"})", "missing field `reason`"},
      {R"({"reason":null})", "invalid type: null, expected a string"},
      {R"(["r"])", R"({"reason":"r"})"},
      {R"([])", "invalid length 0, expected struct Failed with 1 element"},
      {R"(["a","b"])", "invalid length 2, expected fewer elements in array",
       "invalid length 2, expected 1 element in sequence"},
  };
  expect_cases<Failed>(failed);
  const JsonCase suspended[] = {
      {R"({"reason":"r"})", R"({"reason":"r"})"},
      {R"(true)", "invalid type: boolean `true`, expected struct Suspended"},
      {R"([])", "invalid length 0, expected struct Suspended with 1 element"},
  };
  expect_cases<Suspended>(suspended);
  EXPECT_EQ(json::encode(Failed{"r"}), json::encode(Suspended{"r"}));
}

TEST(TerminatedAndResumed, RequiredInOrder) {
  const JsonCase terminated[] = {
      {R"({})", "missing field `reason`"},
      {R"({"reason":"r"})", "missing field `terminated_by`"},
      {R"({"terminated_by":"u","reason":"r"})", R"({"reason":"r","terminated_by":"u"})"},
      {R"(["r"])", "invalid length 1, expected struct Terminated with 2 elements"},
  };
  expect_cases<Terminated>(terminated);
  const JsonCase resumed[] = {
      {R"({"resumed_by":"u"})", R"({"resumed_by":"u"})"},
      {R"(5)", "invalid type: integer `5`, expected struct Resumed"},
      {R"([])", "invalid length 0, expected struct Resumed with 1 element"},
  };
  expect_cases<Resumed>(resumed);
}

TEST(Snapshot, Forms) {
  const char* kBare = R"({"snapshot_id":"s","working_dir":null,"open_files":[],"git_branch":null,"variables":{}})";
  const JsonCase cases[] = {
      {R"({"snapshot_id":"s","open_files":[],"variables":{}})", kBare},
      {R"({"variables":{},"open_files":[],"snapshot_id":"s","git_branch":null})", kBare},
      {R"({"snapshot_id":"s","working_dir":"/w","open_files":["a","b"],"git_branch":"main","variables":{"k":[1,{"n":null}]}})",
       R"({"snapshot_id":"s","working_dir":"/w","open_files":["a","b"],"git_branch":"main","variables":{"k":[1,{"n":null}]}})"},
      {R"({"snapshot_id":"s"})", "missing field `open_files`"},
      {R"({"open_files":[],"variables":{}})", "missing field `snapshot_id`"},
      {R"({"snapshot_id":"s","open_files":[]})", "missing field `variables`"},
      {R"({"snapshot_id":"s","open_files":null,"variables":{}})", "invalid type: null, expected a sequence"},
      {R"({"snapshot_id":"s","open_files":["a",1],"variables":{}})", "invalid type: integer `1`, expected a string"},
      {R"({"snapshot_id":"s","open_files":[],"variables":null})", "invalid type: null, expected a map"},
      {R"({"snapshot_id":"s","open_files":[],"variables":[]})", "invalid type: sequence, expected a map"},
      {R"(["s",null,[],null,{}])", kBare},
      {R"(["s",null,[],null])", "invalid length 4, expected struct Snapshot with 5 elements"},
      {R"(["s",null,[],null,{},1])", "invalid length 6, expected fewer elements in array",
       "invalid length 6, expected 5 elements in sequence"},
  };
  expect_cases<Snapshot>(cases);
}

TEST(Snapshot, VariablesOfEveryKindRoundTrip) {
  auto in = json::decode<Snapshot>(testing::value_of(
      R"({"snapshot_id":"s","open_files":["x"],"variables":{"n":null,"b":false,"u":7,"i":-7,"f":0.5,)"
      R"("t":"x","a":[[],{}],"o":{"z":{"y":[1]}}}})"));
  ASSERT_TRUE(in);
  EXPECT_EQ(in->variables.size(), 8u);
  EXPECT_EQ(in->variables.at("o"), testing::value_of(R"({"z":{"y":[1]}})"));
  auto back = json::decode<Snapshot>(json::encode(*in));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, *in);
}

}  // namespace
}  // namespace revizer::event
