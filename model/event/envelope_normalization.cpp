#include "model/event/envelope_normalization.h"

#include <string_view>

#include "text/white_space.h"

namespace revizer::event {
namespace {

constexpr std::string_view kUnnormalizedMessage =
    "E_UNNORMALIZED_TRAJECTORY_EVENT: event payload must be a normalized trajectory event envelope. Upgrade the "
    "Tavimor revizer client and map provider hook data into typed event fields.";

// The object under `key`, or nullptr when missing or of another kind.
json::Object* object_at(json::Object& holder, std::string_view key) {
  json::Value* v = holder.find(key);
  return v != nullptr && v->is_object() ? &v->as_object() : nullptr;
}

// The raw entry's text when it is a non-empty string, else nullptr.
std::string* raw_text(json::Object& raw, std::string_view key) {
  json::Value* v = raw.find(key);
  if (v == nullptr || !v->is_string() || v->as_string().empty()) return nullptr;
  return &v->as_string();
}

// Puts key = text unless the object already holds a non-empty string there
// (white space counts as content). An existing key keeps its position.
void ensure_json_string_field(json::Object& object, std::string_view key, std::string text) {
  const json::Value* existing = object.find(key);
  if (existing != nullptr && existing->is_string() && !existing->as_string().empty()) return;
  object.insert(std::string(key), json::Value(std::move(text)));
}

// The card's "normalized_context", appended as an empty object when missing.
json::Value& find_normalized_context(json::Object& card) {
  constexpr std::string_view kKey = "normalized_context";
  if (json::Value* found = card.find(kKey)) return *found;
  return card.append_new(std::string(kKey), json::Value(json::Object()));
}

void carry_into_card(json::Object& raw, json::Object& card) {
  if (std::string* cwd = raw_text(raw, "cwd")) ensure_json_string_field(card, "workspace_root", std::move(*cwd));

  json::Value& context = find_normalized_context(card);
  if (!context.is_object()) return;
  json::Object& entries = context.as_object();
  if (std::string* label = raw_text(raw, "initial_label"))
    ensure_json_string_field(entries, "tavimor.initial_label", std::move(*label));
  if (const std::string* hook = raw_text(raw, "hook_event_name")) {
    const std::string_view name = unicode::trim_white_space(*hook);
    if (!name.empty()) ensure_json_string_field(entries, "codex.hook_event_name", std::string(name));
  }
  if (std::string* mode = raw_text(raw, "permission_mode"))
    ensure_json_string_field(entries, "codex.permission_mode", std::move(*mode));
  if (std::string* path = raw_text(raw, "transcript_path"))
    ensure_json_string_field(entries, "codex.transcript_path", std::move(*path));
}

}  // namespace

std::string EnvelopeError::to_string() const {
  std::string text(kUnnormalizedMessage);
  text += ' ';
  text += detail;
  return text;
}

Status<EnvelopeError> normalize_event_envelope(json::Value& envelope) {
  if (!envelope.is_object()) return fail(EnvelopeError{"payload must be a JSON object event envelope."});
  json::Object& fields = envelope.as_object();
  std::optional<json::Value> raw = fields.swap_remove("raw");
  if (!raw || !raw->is_object()) return Ok{};

  json::Object* agent = object_at(fields, "agent");
  json::Object* card = agent != nullptr ? object_at(*agent, "card") : nullptr;
  json::Object* coding = card != nullptr ? object_at(*card, "CodingAgentCard") : nullptr;
  if (coding != nullptr) carry_into_card(raw->as_object(), *coding);
  return Ok{};
}

}  // namespace revizer::event
