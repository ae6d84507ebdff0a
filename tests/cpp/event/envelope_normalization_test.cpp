// Normalising envelopes that still carry a provider hook's raw data.
#include "model/event/envelope_normalization.h"

#include <gtest/gtest.h>

#include <string>

#include "model/json/reader.h"
#include "model/json/writer.h"

namespace revizer::event {
namespace {

const std::string kRefusal =
    "E_UNNORMALIZED_TRAJECTORY_EVENT: event payload must be a normalized trajectory event envelope. Upgrade the "
    "Tavimor revizer client and map provider hook data into typed event fields. payload must be a JSON object event "
    "envelope.";

// The envelope written back after normalising, or the error text.
std::string normalized(std::string_view text) {
  auto v = json::parse(text);
  if (!v) return "unreadable: " + v.error().to_string();
  auto status = normalize_event_envelope(*v);
  if (!status) return status.error().to_string();
  return json::write(*v);
}

// An envelope whose agent carries a coding-agent card with the given
// entries, followed by "raw" with the given object.
std::string coding(std::string_view card_entries, std::string_view raw) {
  std::string text = R"({"event_id":"e","agent":{"id":"a","card":{"CodingAgentCard":{)";
  text += card_entries;
  text += R"(}}},"actor":1,"raw":)";
  text += raw;
  text += "}";
  return text;
}
std::string coding(std::string_view card_entries) {
  return std::string(R"({"event_id":"e","agent":{"id":"a","card":{"CodingAgentCard":{)") + std::string(card_entries) +
         R"(}}},"actor":1})";
}

TEST(EnvelopeNormalization, RefusesAnythingButAnObjectUntouched) {
  for (const char* text : {"[1,2]", "\"x\"", "5", "-1.5", "true", "null", "[]"}) {
    auto v = json::parse(text);
    ASSERT_TRUE(v);
    const json::Value before = *v;
    auto status = normalize_event_envelope(*v);
    ASSERT_FALSE(status) << text;
    EXPECT_EQ(status.error().to_string(), kRefusal);
    EXPECT_EQ(*v, before);
  }
}

TEST(EnvelopeNormalization, RawLeavesByTheSwapOfTheLastEntry) {
  struct Case {
    const char* input;
    const char* output;
  };
  const Case cases[] = {
      // No raw: unchanged, whatever else is there or missing.
      {R"({})", R"({})"},
      {R"({"event_id":5,"Raw":{"cwd":"/x"},"agent":[]})", R"({"event_id":5,"Raw":{"cwd":"/x"},"agent":[]})"},
      {R"({"raw":{"cwd":"/x"}})", R"({})"},
      // The last entry takes raw's place; the rest keep their order.
      {R"({"raw":null,"a":1,"b":2,"c":3})", R"({"c":3,"a":1,"b":2})"},
      {R"({"a":1,"raw":"text","b":2})", R"({"a":1,"b":2})"},
      {R"({"a":1,"b":2,"raw":[1]})", R"({"a":1,"b":2})"},
      // Raw of any shape goes; only an object is looked into.
      {R"({"agent":{"card":{"CodingAgentCard":{}}},"raw":"cwd"})", R"({"agent":{"card":{"CodingAgentCard":{}}}})"},
      // No coding-agent card to carry into.
      {R"({"raw":{"cwd":"/x"},"agent":{"card":{"ReActAgentCard":{}}}})", R"({"agent":{"card":{"ReActAgentCard":{}}}})"},
      {R"({"raw":{"cwd":"/x"},"agent":{"card":{"CodingAgentCard":null}}})",
       R"({"agent":{"card":{"CodingAgentCard":null}}})"},
      {R"({"raw":{"cwd":"/x"},"agent":{"card":"CodingAgentCard"}})", R"({"agent":{"card":"CodingAgentCard"}})"},
      {R"({"raw":{"cwd":"/x"},"agent":["a","p","x",{"CodingAgentCard":{}}]})",
       R"({"agent":["a","p","x",{"CodingAgentCard":{}}]})"},
      {R"({"raw":{"cwd":"/x"}})", R"({})"},
  };
  for (const Case& c : cases) EXPECT_EQ(normalized(c.input), c.output) << c.input;
}

TEST(EnvelopeNormalization, CarriesRawFieldsIntoTheCodingCard) {
  struct Case {
    std::string card;  // the card's entries before
    std::string raw;
    std::string after;  // the card's entries after
  };
  const Case cases[] = {
      // The context is added even when nothing goes into it.
      {R"("model":"m")", R"({})", R"("model":"m","normalized_context":{})"},
      {R"("model":"m")", R"({"cwd":"/work"})", R"("model":"m","workspace_root":"/work","normalized_context":{})"},
      // Typed data wins over raw data unless it is missing, not a string or empty.
      {R"("workspace_root":"/mine","x":1)", R"({"cwd":"/raw"})", R"("workspace_root":"/mine","x":1,"normalized_context":{})"},
      {R"("workspace_root":" ")", R"({"cwd":"/raw"})", R"("workspace_root":" ","normalized_context":{})"},
      {R"("workspace_root":"","x":1)", R"({"cwd":"/raw"})", R"("workspace_root":"/raw","x":1,"normalized_context":{})"},
      {R"("workspace_root":null)", R"({"cwd":"/raw"})", R"("workspace_root":"/raw","normalized_context":{})"},
      {R"("workspace_root":7)", R"({"cwd":"/raw"})", R"("workspace_root":"/raw","normalized_context":{})"},
      // Raw values that are not non-empty strings are passed over.
      {R"("workspace_root":"")", R"({"cwd":""})", R"("workspace_root":"","normalized_context":{})"},
      {R"()", R"({"cwd":5,"initial_label":null,"permission_mode":"","transcript_path":["p"]})",
       R"("normalized_context":{})"},
      // All four context entries, in their order, after what is there.
      {R"("normalized_context":{"k":"v"})",
       R"({"transcript_path":"/t.jsonl","permission_mode":"plan","hook_event_name":"PreToolUse","initial_label":"L"})",
       R"("normalized_context":{"k":"v","tavimor.initial_label":"L","codex.hook_event_name":"PreToolUse",)"
       R"("codex.permission_mode":"plan","codex.transcript_path":"/t.jsonl"})"},
      // The hook name is trimmed of Unicode white space; blank carries nothing.
      {R"()", R"({"hook_event_name":" \u00a0Stop\t"})", R"("normalized_context":{"codex.hook_event_name":"Stop"})"},
      {R"()", R"({"hook_event_name":" \u2003 "})", R"("normalized_context":{})"},
      // Other texts are carried as they are, a lone space included.
      {R"()", R"({"permission_mode":" "})", R"("normalized_context":{"codex.permission_mode":" "})"},
      // Existing context entries: kept when non-empty strings, else replaced in place.
      {R"("normalized_context":{"codex.transcript_path":"/mine","codex.permission_mode":""})",
       R"({"transcript_path":"/raw","permission_mode":"auto"})",
       R"("normalized_context":{"codex.transcript_path":"/mine","codex.permission_mode":"auto"})"},
      // A context that is not an object takes nothing.
      {R"("normalized_context":"text")", R"({"cwd":"/w","initial_label":"L"})",
       R"("normalized_context":"text","workspace_root":"/w")"},
      {R"("normalized_context":null)", R"({"initial_label":"L"})", R"("normalized_context":null)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(normalized(coding(c.card, c.raw)), coding(c.after)) << c.card << " + " << c.raw;
}

TEST(EnvelopeNormalization, OnlyTheCardOfTheEnvelopesAgentIsTouched) {
  // "raw" held the middle position; "actor" (last) moves there. A coding
  // card elsewhere in the envelope is not the agent's.
  EXPECT_EQ(normalized(R"({"agent":{"card":{"CodingAgentCard":{}}},"raw":{"cwd":"/w"},)"
                       R"("event":{"CodingAgentCard":{}},"actor":1})"),
            R"({"agent":{"card":{"CodingAgentCard":{"workspace_root":"/w","normalized_context":{}}}},"actor":1,)"
            R"("event":{"CodingAgentCard":{}}})");
}

}  // namespace
}  // namespace revizer::event
