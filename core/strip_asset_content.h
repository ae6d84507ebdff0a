#pragma once

#include "model/json/value.h"

namespace revizer::core {

// Removes inline asset content before a value is handed to Python: every
// object, at any depth, that has all of "scope", "kind", "name", "path" and
// "content_sha256" loses "content_media_type", "content",
// "content_size_bytes" and "content_truncated", in that order, where present.
// Each removal moves the object's last entry into the removed entry's place.
// The walk is iterative, so no depth of nesting can exhaust the stack.
void strip_asset_content(json::Value& value);

}  // namespace revizer::core
