#pragma once

// Generated identifiers: a prefix and a random version-4 UUID in lower-case
// hyphenated form, e.g. "evt-0b6c1f4e-3f1a-4c5e-9d2b-7a8e6f1c2d3b".

#include <string>
#include <string_view>

#include "support/result.h"

namespace revizer::core {

inline constexpr std::string_view kEventIdPrefix = "evt-";
inline constexpr std::string_view kCallIdPrefix = "call-";
inline constexpr std::string_view kCorrelationIdPrefix = "corr-";
inline constexpr std::string_view kSnapshotIdPrefix = "snap-";

// The random bytes come from the operating system's entropy source. The
// error is the text "could not retrieve random bytes for uuid: {}", which the
// caller raises as the binding layer's failure exception.
Result<std::string, std::string> generate_identifier(std::string_view prefix);

}  // namespace revizer::core
