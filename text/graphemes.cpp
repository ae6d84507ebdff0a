#include "text/graphemes.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <climits>
#include <cstdint>
#include <memory>

#include "text/code_points.h"

namespace revizer::unicode {
namespace {

struct BreakIteratorCloser {
  void operator()(UBreakIterator* iterator) const noexcept { ubrk_close(iterator); }
};
using BreakIterator = std::unique_ptr<UBreakIterator, BreakIteratorCloser>;

// Opening a break iterator loads its rules; keep one per thread (an iterator
// holds its text position, so it cannot be shared).
UBreakIterator* character_breaks() {
  thread_local const BreakIterator iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    BreakIterator opened(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_FAILURE(status)) opened.reset();
    return opened;
  }();
  return iterator.get();
}

struct UTextCloser {
  void operator()(UText* text) const noexcept { utext_close(text); }
};

// Without ICU's break data every code point counts as a cluster.
std::optional<std::size_t> code_point_prefix_length(std::string_view text, std::size_t count) {
  std::size_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (offset >= text.size()) return std::nullopt;
    next_code_point(text, offset);
  }
  if (offset >= text.size()) return std::nullopt;
  return offset;
}

}  // namespace

std::optional<std::size_t> grapheme_prefix_length(std::string_view text, std::size_t count) {
  UBreakIterator* breaks = character_breaks();
  // ICU reports break positions as 32-bit offsets: past 2 GiB the rest of the
  // text counts as part of the last cluster found.
  const std::string_view window = text.substr(0, INT32_MAX);
  if (breaks == nullptr) return code_point_prefix_length(window, count);

  UErrorCode status = U_ZERO_ERROR;
  UText storage = UTEXT_INITIALIZER;
  const std::unique_ptr<UText, UTextCloser> utext(
      utext_openUTF8(&storage, window.data(), static_cast<std::int64_t>(window.size()), &status));
  if (U_FAILURE(status)) return code_point_prefix_length(window, count);
  ubrk_setUText(breaks, utext.get(), &status);
  if (U_FAILURE(status)) return code_point_prefix_length(window, count);

  std::int32_t end = ubrk_first(breaks);
  for (std::size_t i = 0; i < count; ++i) {
    end = ubrk_next(breaks);
    if (end == UBRK_DONE) return std::nullopt;
  }
  if (static_cast<std::size_t>(end) >= window.size()) return std::nullopt;
  return static_cast<std::size_t>(end);
}

std::string truncate_graphemes(std::string_view text, std::size_t count) {
  const std::optional<std::size_t> cut = grapheme_prefix_length(text, count);
  if (!cut) return std::string(text);
  std::string out;
  out.reserve(*cut + 3);
  out.append(text.substr(0, *cut));
  out.append("...");
  return out;
}

}  // namespace revizer::unicode
