#include "core/strip_asset_content.h"

#include "model/agent/agent_record.h"
#include "model/event/envelope_normalization.h"
#include "model/event/event_record.h"
#include "model/json/reader.h"
#include "model/json/record_text.h"
#include "model/json/writer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace revizer::core {
namespace {

using json::Array;
using json::Object;
using json::Value;

Value object_of(std::vector<std::pair<std::string, Value>> entries) {
  Object object;
  for (auto& [key, value] : entries) object.append_new(key, std::move(value));
  return Value(std::move(object));
}

std::vector<std::string> keys_of(const Value& value) {
  std::vector<std::string> keys;
  for (const json::Member& member : value.as_object()) keys.push_back(member.key);
  return keys;
}

Value asset_with_content() {
  return object_of({{"scope", "project"}, {"kind", "skill"}, {"name", "n"}, {"path", "p"},
                    {"content_sha256", "abc"}, {"content_media_type", "text/plain"}, {"content", "body"},
                    {"content_size_bytes", 4}, {"content_truncated", false}});
}

TEST(StripAssetContent, RemovesTheContentKeysOfAnAssetKeepingTheOthersInPlace) {
  Value asset = asset_with_content();
  strip_asset_content(asset);
  EXPECT_EQ(keys_of(asset), (std::vector<std::string>{"scope", "kind", "name", "path", "content_sha256"}));
}

TEST(StripAssetContent, EachRemovalMovesTheLastEntryIntoItsPlace) {
  // Removed in the fixed order: "content_media_type" first, whose place the
  // last entry "x" takes, then "content", whose place "y" (now last) takes.
  Value asset = object_of({{"content_media_type", "m"}, {"scope", 1}, {"content", "c"}, {"kind", 1}, {"name", 1},
                           {"path", 1}, {"content_sha256", Value()}, {"y", 2}, {"x", 3}});
  strip_asset_content(asset);
  EXPECT_EQ(keys_of(asset),
            (std::vector<std::string>{"x", "scope", "y", "kind", "name", "path", "content_sha256"}));
}

TEST(StripAssetContent, LeavesObjectsWithoutAllFiveKeysAlone) {
  Value partial = object_of({{"scope", 1}, {"kind", 1}, {"name", 1}, {"path", 1}, {"content", "c"}});
  const Value before = partial;
  strip_asset_content(partial);
  EXPECT_EQ(partial, before);
}

TEST(StripAssetContent, WalksEveryDepthOfArraysAndObjects) {
  Value nested = object_of({{"arguments", Value(Array{Value(1), object_of({{"deep", asset_with_content()}})})},
                            {"asset", asset_with_content()}});
  strip_asset_content(nested);
  EXPECT_EQ(nested.as_object().find("asset")->as_object().size(), 5u);
  const Value& deep = *nested.as_object().find("arguments")->as_array()[1].as_object().find("deep");
  EXPECT_EQ(deep.as_object().find("content"), nullptr);
  EXPECT_EQ(deep.as_object().size(), 5u);
}

TEST(StripAssetContent, HandlesNestingFarBeyondAnyStackDepth) {
  Value value = asset_with_content();
  for (int i = 0; i < 200000; ++i) {
    Array wrapper;  // not Array{...}: an initializer list would copy
    wrapper.push_back(std::move(value));
    value = Value(std::move(wrapper));
  }
  strip_asset_content(value);
  const Value* inner = &value;
  while (inner->is_array()) inner = &inner->as_array()[0];
  EXPECT_EQ(inner->as_object().size(), 5u);
}

}  // namespace
}  // namespace revizer::core

namespace revizer::core {
namespace {

// The stripping text writer gives the text of the stripped JSON form, for
// records whose assets are records and for JSON values holding asset-like
// objects anywhere.
TEST(StripAssetContentText, WritesTheStrippedForm) {
  const char* texts[] = {
      R"({"id":"a","provider":"p","platform":"x","card":{"CodingAgentCard":{"metadata":{"schema_version":"1",)"
      R"("hook_version":"2"},"workspace_root":"/w","execution_mode":"e","capabilities":{"tools":[],)"
      R"("hook_commands":[],"slash_commands":[],"named_agents":[],"skills":[]},"assets":[{"scope":"s","kind":"k",)"
      R"("name":"n","path":"p","content_sha256":"h","content_media_type":"t","content":"c",)"
      R"("content_size_bytes":1,"content_truncated":true},{"scope":"s","kind":"k","name":"n","path":"p",)"
      R"("content_sha256":"h"}],"settings":[]}}})",
  };
  for (const char* text : texts) {
    auto agent = json::decode<agent::Agent>(*json::parse(text));
    ASSERT_TRUE(agent) << agent.error().to_string();
    Value stripped = json::encode(*agent);
    strip_asset_content(stripped);
    std::string written;
    json::write_text(*agent, written, StripAssetContentText{});
    EXPECT_EQ(written, json::write(stripped));
    std::string kept;
    json::write_text(*agent, kept);
    EXPECT_EQ(kept, json::write(json::encode(*agent)));
  }
  const Value values[] = {
      asset_with_content(),
      Value(Array{Value(1), object_of({{"deep", Value(Array{asset_with_content()})}}), Value("x")}),
      object_of({{"content", "kept"}, {"scope", "s"}}),
      Value(Array{}),
      Value("content"),
  };
  for (const Value& value : values) {
    Value stripped = value;
    strip_asset_content(stripped);
    json::TextSink written;
    StripAssetContentText{}.write_value(value, written);
    EXPECT_EQ(written.view(), json::write(stripped));
    EXPECT_EQ(holds_asset_content(value), !(stripped == value));
  }
}

}  // namespace
}  // namespace revizer::core

namespace revizer::core {
namespace {

// A map that holds the five identifying keys is an object like any other in
// the JSON form, so its content entries go too. Maps of every kind (ordered,
// hashed, of texts, of JSON values, of servers), in an event whose writers
// must give the text of the stripped form.
TEST(StripAssetContentText, StripsStringMapsAsObjects) {
  // Ordered by key: "content" first, so the last entry "z" takes its place.
  const std::string texts = R"({"z":"1","content":"c","scope":"s","kind":"k","name":"n","path":"p",)"
                            R"("content_sha256":"h","content_truncated":"t"})";
  const std::string agent =
      R"({"id":"a","provider":"p","platform":"x","card":{"CodingAgentCard":{"metadata":{"schema_version":"1",)"
      R"("hook_version":"2"},"workspace_root":"/w","execution_mode":"e","capabilities":{"tools":[],)"
      R"("hook_commands":[],"slash_commands":[],"named_agents":[],"skills":[]},"assets":[],)"
      R"("settings":[{"scope":"s","path":"p","content_sha256":"h","allow_permissions":[],"deny_permissions":[],)"
      R"("hook_commands":[],"mcp_servers":{"scope":{"type":"stdio","command":"c","env":)" + texts + R"(},)"
      R"("kind":{"type":"http","url":"u","headers":)" + texts + R"(},"name":{"type":"stdio","command":"c"},)"
      R"("path":{"type":"stdio","command":"c"},"content_sha256":{"type":"stdio","command":"c"},)"
      R"("content":{"type":"stdio","command":"c"},"a":{"type":"stdio","command":"c"}}}],)"
      R"("normalized_context":)" + texts + R"(}}})";
  const auto event = [&](const std::string& payload) {
    return R"({"event_id":"e","trajectory_id":"t","agent":)" + agent +
           R"(,"timestamp":"2025-03-01T12:00:00Z","event":)" + payload +
           R"(,"actor":{"id":"x","actor_type":"Agent"},"causality":{"correlation_id":"c","causation_id":null,"parent_id":null}})";
  };
  const std::string events[] = {
      event(R"({"category":"Control","payload":{"type":"Adjudicated","data":{"decision":"Deny","metadata":[)"
            R"({"metadata":)" + texts + R"(},{"metadata":{"content":"c","scope":"s"}}],"guardrails":{"signature":)"
            R"({"triggered":true,"matches":[{"rule":"r","metadata":)" + texts + R"(}]}},"policy_sources":[)"
            R"({"name":"n","labels":)" + texts + R"(,"policies":[{"name":"p","labels":)" + texts + R"(}]}]}}})"),
      event(R"({"category":"State","payload":{"type":"Snapshot","data":{"snapshot_id":"s","working_dir":null,)"
            R"("open_files":[],"git_branch":null,"variables":{"scope":1,"kind":[],"name":null,"path":{},)"
            R"("content_sha256":true,"content_size_bytes":{"content":2},"content_media_type":"m","y":0}}}})"),
  };
  for (const std::string& text : events) {
    auto value = json::parse(text);
    ASSERT_TRUE(value) << value.error().to_string();
    ASSERT_TRUE(event::normalize_event_envelope(*value));
    auto decoded = json::decode<event::Event>(std::move(*value));
    ASSERT_TRUE(decoded) << decoded.error().to_string();
    Value stripped = json::encode(*decoded);
    ASSERT_TRUE(holds_asset_content(stripped));
    strip_asset_content(stripped);
    ASSERT_FALSE(holds_asset_content(stripped));
    std::string written;
    json::write_text(*decoded, written, StripAssetContentText{});
    EXPECT_EQ(written, json::write(stripped));
  }
  // The ordered map's own order after the removals, as an object's would be.
  std::map<std::string, std::string> map;
  const auto parsed = json::parse(texts);
  ASSERT_TRUE(parsed);
  for (const json::Member& member : parsed->as_object()) map[member.key] = member.value.as_string();
  const auto entries = stripped_entries(map);
  ASSERT_TRUE(entries);
  std::vector<std::string> keys;
  for (const auto* entry : *entries) keys.push_back(entry->first);
  EXPECT_EQ(keys, (std::vector<std::string>{"z", "content_sha256", "scope", "kind", "name", "path"}));
  map.erase("kind");
  EXPECT_FALSE(stripped_entries(map));
}

}  // namespace
}  // namespace revizer::core
