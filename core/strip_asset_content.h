#pragma once

#include <string>
#include <string_view>

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

// A filter for json::write_text (model/json/record_text.h) whose text is
// that of the stripped value: a record whose description has the five
// identifying keys (always written, its content keys after them) leaves its
// content keys out, and JSON values are stripped as above.
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
  void write_value(const json::Value& value, json::TextSink& out) const;
};

}  // namespace revizer::core
