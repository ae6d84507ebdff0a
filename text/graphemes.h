#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace revizer::unicode {

// The byte length of the first `count` extended grapheme clusters of a UTF-8
// text, or nothing when the text holds `count` clusters or fewer.
std::optional<std::size_t> grapheme_prefix_length(std::string_view text, std::size_t count);

// The first `count` extended grapheme clusters followed by "..." when the
// text holds more than `count` clusters; otherwise the text unchanged.
// A user-perceived character is never split.
std::string truncate_graphemes(std::string_view text, std::size_t count);

}  // namespace revizer::unicode
