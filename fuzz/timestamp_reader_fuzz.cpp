// Feeds arbitrary bytes to the RFC 3339 timestamp reader. A refusal must be
// one of its four texts; an accepted instant must be well formed, and its
// written texts (with "Z" and with "+00:00") must read back to the same
// instant and write identically; the shortcut for the written form agrees
// with the general reader on every input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/event/timestamp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace revizer::event;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto t = parse_rfc3339(text);
  // The written form's shortcut reads exactly what the general reader reads.
  auto general = parse_rfc3339_general(text);
  if (t.has_value() != general.has_value()) std::abort();
  if (t ? !(*t == *general) : t.error() != general.error()) std::abort();
  if (!t) {
    if (message(t.error()).empty()) std::abort();
    return 0;
  }
  if (t->nanos() >= 2 * Timestamp::kNanosPerSecond) std::abort();
  auto same = Timestamp::from_unix(t->unix_seconds(), t->nanos());
  if (!same || !(*same == *t)) std::abort();
  const WireTimestamp wire = to_wire_timestamp(*t);
  if (wire.seconds != t->unix_seconds() || wire.nanos < 0 || static_cast<std::uint32_t>(wire.nanos) != t->nanos())
    std::abort();

  const std::string written = format_rfc3339(*t);
  if (written.empty() || written.back() != 'Z') std::abort();
  auto back = parse_rfc3339(written);
  if (!back || !(*back == *t)) std::abort();
  if (format_rfc3339(*back) != written) std::abort();

  const std::string offset = format_rfc3339_utc_offset(*t);
  if (offset != written.substr(0, written.size() - 1) + "+00:00") std::abort();
  auto from_offset = parse_rfc3339(offset);
  if (!from_offset || !(*from_offset == *t)) std::abort();
  return 0;
}
