#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/json/text_sink.h"
#include "model/json/value.h"

namespace revizer::core {

// Removes inline asset content before a value is handed to Python: every
// object, at any depth, that has all of "scope", "kind", "name", "path" and
// "content_sha256" loses "content_media_type", "content",
// "content_size_bytes" and "content_truncated", in that order, where present.
// Each removal moves the object's last entry into the removed entry's place.
// The walk is iterative, so no depth of nesting can exhaust the stack.
void strip_asset_content(json::Value& value);

// Whether stripping would change `value`: some object in it has the five
// identifying keys and a content key.
bool holds_asset_content(const json::Value& value);

// One of the four content keys.
bool is_asset_content_key(std::string_view key) noexcept;

namespace detail {

inline constexpr std::array<std::string_view, 5> kAssetKeys{"scope", "kind", "name", "path", "content_sha256"};
inline constexpr std::array<std::string_view, 4> kContentKeys{"content_media_type", "content", "content_size_bytes",
                                                              "content_truncated"};

// Removes the content keys from `entries` in their fixed order, each removal
// moving the last entry into the removed entry's place.
template <class Entry, class KeyOf>
void remove_content_entries(std::vector<Entry>& entries, KeyOf key_of) {
  for (std::string_view key : kContentKeys) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (std::string_view(key_of(entries[i])) != key) continue;
      if (i + 1 != entries.size()) entries[i] = std::move(entries.back());
      entries.pop_back();
      break;
    }
  }
}

// Whether keys with unique names, all of them given one by one to `add`,
// make an asset object holding content.
class AssetKeyScan {
 public:
  void add(std::string_view key) noexcept {
    for (std::size_t i = 0; i < kAssetKeys.size(); ++i) found_ |= key == kAssetKeys[i] ? 1u << i : 0u;
    content_ = content_ || is_asset_content_key(key);
  }
  bool asset_with_content() const noexcept { return content_ && found_ == (1u << kAssetKeys.size()) - 1; }

 private:
  unsigned found_ = 0;
  bool content_ = false;
};

}  // namespace detail

// A string map is written as a JSON object, which stripping treats like any
// other: the map's entries in the order of its stripped form, or nothing when
// stripping leaves it as it is (most maps, and every map of five entries or
// fewer, which cannot hold the five identifying keys and content).
template <class Map>
std::optional<std::vector<const typename Map::value_type*>> stripped_entries(const Map& map) {
  if (map.size() <= detail::kAssetKeys.size()) return std::nullopt;
  detail::AssetKeyScan scan;
  for (const auto& entry : map) scan.add(entry.first);
  if (!scan.asset_with_content()) return std::nullopt;
  std::vector<const typename Map::value_type*> entries;
  entries.reserve(map.size());
  for (const auto& entry : map) entries.push_back(&entry);
  detail::remove_content_entries(entries, [](const auto* entry) -> const std::string& { return entry->first; });
  return entries;
}

// A filter for json::write_text (model/json/record_text.h) whose text is
// that of the stripped value: a record whose description has the five
// identifying keys (always written, its content keys after them) leaves its
// content keys out, string maps are stripped as objects (stripped_entries),
// and JSON values are stripped as above.
struct StripAssetContentText {
  template <class Description>
  bool may_drop_fields(const Description& description) const {
    static const bool asset = [&] {
      int found = 0;
      for (std::string_view k : {"scope", "kind", "name", "path", "content_sha256"}) found += description.has_key(k);
      return found == 5;
    }();
    return asset;
  }
  template <class Description>
  bool drops_field(const Description&, std::string_view key) const {
    return is_asset_content_key(key);
  }
  template <class Map>
  auto map_entries(const Map& map) const {
    return stripped_entries(map);
  }
  void write_value(const json::Value& value, json::TextSink& out) const;
};

}  // namespace revizer::core
