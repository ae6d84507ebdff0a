// Feeds arbitrary bytes to the JSON text reader. Whatever it accepts must
// write back to text that reads to an equal value and writes identically;
// the accepted value then goes through a record decoder in both modes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/agent/tool_record.h"
#include "model/json/reader.h"
#include "model/json/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace revizer;
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

  for (Mode mode : {Mode::Direct, Mode::Buffered}) {
    auto tool = json::decode<agent::Tool>(Value(*first), mode);
    if (!tool) {
      if (tool.error().message.empty() || tool.error().line != 0) std::abort();
      continue;
    }
    auto again = json::decode<agent::Tool>(json::encode(*tool), Mode::Direct);
    if (!again || !(*again == *tool)) std::abort();
  }
  return 0;
}
