#include "text/lower_case.h"

#include <unicode/ucasemap.h>

#include <climits>
#include <cstdint>
#include <memory>

#include "text/code_points.h"

namespace revizer::unicode {
namespace {

struct CaseMapCloser {
  void operator()(UCaseMap* map) const noexcept { ucasemap_close(map); }
};
using CaseMap = std::unique_ptr<UCaseMap, CaseMapCloser>;

// ICU's case maps are read-only after opening, so one serves every thread.
const UCaseMap* root_case_map() {
  static const CaseMap map = [] {
    UErrorCode status = U_ZERO_ERROR;
    CaseMap opened(ucasemap_open("", 0, &status));
    if (U_FAILURE(status)) opened.reset();
    return opened;
  }();
  return map.get();
}

// ICU measures texts in 32-bit lengths; longer texts are mapped in pieces
// cut at code-point boundaries (only a sigma right at a cut could then miss
// its final-form context).
constexpr std::size_t kPieceBytes = std::size_t{1} << 28;

bool lower_piece(const UCaseMap* map, std::string_view piece, std::string& out) {
  const auto length = static_cast<std::int32_t>(piece.size());
  const std::size_t start = out.size();
  // Lower-casing grows a text by at most a factor of 3/2 (U+0130, two bytes,
  // becomes three); start with a little headroom and retry once if short.
  std::size_t capacity = piece.size() + piece.size() / 2 + 4;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out.resize(start + capacity);
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t written = ucasemap_utf8ToLower(map, out.data() + start, static_cast<std::int32_t>(capacity),
                                                      piece.data(), length, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && written > 0) {
      capacity = static_cast<std::size_t>(written);
      continue;
    }
    if (U_FAILURE(status) || written < 0) break;
    out.resize(start + static_cast<std::size_t>(written));
    return true;
  }
  out.resize(start);
  return false;
}

}  // namespace

std::string to_lower_full(std::string_view text) {
  std::string out;
  const UCaseMap* map = root_case_map();
  std::size_t offset = 0;
  while (offset < text.size()) {
    std::size_t end = std::min(text.size(), offset + kPieceBytes);
    // Back up to a code-point boundary (never past the piece's start).
    while (end < text.size() && end > offset && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    const std::string_view piece = text.substr(offset, end - offset);
    if (map == nullptr || !lower_piece(map, piece, out)) out.append(piece);  // no ICU data: leave the text as is
    offset = end;
  }
  return out;
}

}  // namespace revizer::unicode
