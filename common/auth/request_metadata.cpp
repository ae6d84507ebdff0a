#include "common/auth/request_metadata.h"

#include <algorithm>

namespace revizer::common {

void replace_metadata(RequestMetadata& metadata, std::string_view key, const HeaderValue& value) {
  std::erase_if(metadata, [&](const MetadataEntry& entry) { return entry.key == key; });
  metadata.push_back({std::string(key), value});
}

}  // namespace revizer::common
