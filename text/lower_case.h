#pragma once

#include <string>
#include <string_view>

namespace revizer::unicode {

// The full Unicode lower-case mapping of a UTF-8 text (SpecialCasing
// included, so U+0130 becomes "i" followed by U+0307, and a final capital
// sigma becomes U+03C2), without locale-specific rules.
std::string to_lower_full(std::string_view text);

}  // namespace revizer::unicode
