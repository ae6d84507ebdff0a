// Feeds arbitrary bytes to the JSON text reader. Whatever it accepts must
// write back to text that reads to an equal value and writes identically;
// the accepted value then goes through the record decoders in both modes,
// and whatever decodes must write a form that decodes to an equal record.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/agent/agent_record.h"
#include "model/agent/tool_record.h"
#include "model/event/context_record.h"
#include "model/event/envelope_normalization.h"
#include "model/event/event_record.h"
#include "model/event/trajectory_event.h"
#include "model/json/reader.h"
#include "model/json/record_text.h"
#include "model/json/writer.h"
#include "model/result/adjudicated_record.h"
#include "model/result/scanned.h"

namespace {

template <class R>
void decode_both_ways(const revizer::json::Value& accepted) {
  using namespace revizer::json;
  for (Mode mode : {Mode::Direct, Mode::Buffered}) {
    auto record = decode<R>(Value(accepted), mode);
    if (!record) {
      if (record.error().message.empty() || record.error().line != 0) std::abort();
      continue;
    }
    const Value written = encode(*record);
    auto again = decode<R>(Value(written), Mode::Direct);
    if (!again || !(*again == *record)) std::abort();
    // The direct text writer writes what the encoder's value writes.
    std::string direct;
    write_text(*record, direct);
    if (direct != write(written)) std::abort();
  }
}

// The path of Event.from_json after the text is read: normalise, then
// decode the envelope (in direct mode only: it is never held content).
void normalise_and_decode_event(const revizer::json::Value& accepted) {
  using namespace revizer;
  json::Value envelope = accepted;
  if (!event::normalize_event_envelope(envelope)) {
    if (accepted.is_object() || !(envelope == accepted)) std::abort();
    return;
  }
  auto e = json::decode<event::Event>(std::move(envelope));
  if (!e) {
    if (e.error().message.empty() || e.error().line != 0) std::abort();
    return;
  }
  const json::Value written = json::encode(*e);
  auto again = json::decode<event::Event>(json::Value(written));
  if (!again || !(*again == *e)) std::abort();
  std::string direct;
  json::write_text(*e, direct);
  if (direct != json::write(written)) std::abort();
}

}  // namespace

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

  decode_both_ways<agent::Tool>(*first);
  decode_both_ways<agent::Agent>(*first);
  // Reached directly too: deep inside an agent the fuzzer finds them late.
  decode_both_ways<agent::CodingAgentCard>(*first);
  decode_both_ways<agent::McpServerConfigValue>(*first);
  decode_both_ways<result::Adjudicated>(*first);
  decode_both_ways<result::Scanned>(*first);
  decode_both_ways<event::TrajectoryEvent>(*first);
  decode_both_ways<event::Causality>(*first);
  normalise_and_decode_event(*first);
  return 0;
}
