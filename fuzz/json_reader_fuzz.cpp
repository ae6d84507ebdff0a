// Feeds arbitrary bytes to the JSON text reader. Whatever it accepts must
// write back to text that reads to an equal value and writes identically;
// the accepted value then goes through the top record decoders in both modes,
// and what decodes must encode to a value that decodes to the same record.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/agent/tool_record.h"
#include "model/json/reader.h"
#include "model/json/writer.h"
#include "model/result/adjudicated_record.h"
#include "model/result/scanned.h"

namespace {

using namespace revizer;

// NaN fields make a record unequal to itself, but they are written as null
// and so never come out of a decoder.
template <class T>
void decode_round_trip(const json::Value& value) {
  for (json::Mode mode : {json::Mode::Direct, json::Mode::Buffered}) {
    auto decoded = json::decode<T>(json::Value(value), mode);
    if (!decoded) {
      if (decoded.error().message.empty() || decoded.error().line != 0) std::abort();
      continue;
    }
    auto again = json::decode<T>(json::encode(*decoded), json::Mode::Direct);
    if (!again || !(*again == *decoded)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace revizer::json;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto first = parse(text);
  if (!first) {
    const CodecError& e = first.error();
    if (e.line == 0 || e.message.empty()) std::abort();
    return 0;
  }
  const std::string written = write(*first);
  auto second = parse(written);
  if (!second) std::abort();
  if (!(*second == *first)) std::abort();
  if (write(*second) != written) std::abort();
  Value copy = *first;
  if (!(copy == *first)) std::abort();

  decode_round_trip<agent::Tool>(*first);
  decode_round_trip<result::Adjudicated>(*first);
  decode_round_trip<result::Scanned>(*first);
  return 0;
}
