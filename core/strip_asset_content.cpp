#include "core/strip_asset_content.h"

#include <array>
#include <string_view>
#include <vector>

#include "model/json/writer.h"
#include "support/inline_stack.h"

namespace revizer::core {
namespace {

using detail::kAssetKeys;
using detail::kContentKeys;

bool has_content_key(const json::Object& object) {
  for (std::string_view key : kContentKeys) {
    if (object.find(key) != nullptr) return true;
  }
  return false;
}

bool is_asset(const json::Object& object) {
  for (std::string_view key : kAssetKeys) {
    if (object.find(key) == nullptr) return false;
  }
  return true;
}

// The five identifying keys and a content key take six members at least:
// smaller objects, most of them, are passed over without a lookup.
bool is_asset_with_content(const json::Object& object) {
  return object.size() > kAssetKeys.size() && is_asset(object) && has_content_key(object);
}

void strip_object(json::Object& object) {
  if (!is_asset_with_content(object)) return;
  std::vector<json::Member> members = std::move(object).take_members();
  detail::remove_content_entries(members, [](const json::Member& member) -> const std::string& { return member.key; });
  object.reserve(members.size());
  for (json::Member& member : members) object.append_new(std::move(member.key), std::move(member.value));
}

}  // namespace

void strip_asset_content(json::Value& value) {
  std::vector<json::Value*> pending{&value};
  while (!pending.empty()) {
    json::Value* current = pending.back();
    pending.pop_back();
    if (current->is_array()) {
      for (json::Value& element : current->as_array()) pending.push_back(&element);
    } else if (current->is_object()) {
      json::Object& object = current->as_object();
      strip_object(object);
      for (std::size_t i = 0; i < object.size(); ++i) pending.push_back(&object.value_at(i));
    }
  }
}

bool holds_asset_content(const json::Value& value) {
  InlineStack<const json::Value*, 32> pending;
  // Only containers are queued: a scalar holds nothing.
  auto queue = [&](const json::Value& child) {
    if (child.is_array() || child.is_object()) pending.push_back(&child);
  };
  queue(value);
  while (!pending.empty()) {
    const json::Value* current = pending.back();
    pending.pop_back();
    if (current->is_array()) {
      for (const json::Value& element : current->as_array()) queue(element);
    } else {
      const json::Object& object = current->as_object();
      if (is_asset_with_content(object)) return true;
      for (const json::Member& member : object) queue(member.value);
    }
  }
  return false;
}

bool is_asset_content_key(std::string_view key) noexcept {
  for (std::string_view k : kContentKeys) {
    if (k == key) return true;
  }
  return false;
}

void StripAssetContentText::write_value(const json::Value& value, json::TextSink& out) const {
  // Scalars and values without assets are written as they are; only a value
  // that holds asset content is copied to be stripped.
  if ((value.is_object() || value.is_array()) && holds_asset_content(value)) {
    json::Value stripped = value;
    strip_asset_content(stripped);
    json::write_to(stripped, out);
  } else {
    json::write_to(value, out);
  }
}

}  // namespace revizer::core
