// Feeds arbitrary bytes to the JSON text reader. Whatever it accepts must
// write back to text that reads to an equal value and writes identically.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/json/reader.h"
#include "model/json/writer.h"

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
  return 0;
}
