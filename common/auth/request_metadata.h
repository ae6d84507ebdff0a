#pragma once

// The metadata of one outgoing request as the interceptor sees it.

#include <string>
#include <string_view>
#include <vector>

#include "common/auth/header_value.h"

namespace revizer::common {

struct MetadataEntry {
  std::string key;
  HeaderValue value;
};

using RequestMetadata = std::vector<MetadataEntry>;

// Leaves exactly one value under `key`: `value`, in place of any before it.
void replace_metadata(RequestMetadata& metadata, std::string_view key, const HeaderValue& value);

}  // namespace revizer::common
