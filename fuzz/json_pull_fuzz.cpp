// Differential: records read straight from text (json::read_text and the
// event envelope's read_event_text) against the general reading (parse,
// then normalise and decode). The straight reading may step aside at any
// time; when it does not, the general reading must succeed with an equal
// record.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/agent/agent_record.h"
#include "model/event/envelope_normalization.h"
#include "model/event/event_record.h"
#include "model/event/event_text.h"
#include "model/json/pull_reader.h"
#include "model/json/reader.h"
#include "model/result/adjudicated_record.h"

namespace {

using namespace revizer;

template <class R>
void straight_matches_general(std::string_view text) {
  R fast{};
  if (!json::read_text(text, fast)) return;
  auto value = json::parse(text);
  if (!value) std::abort();
  auto general = json::decode<R>(std::move(*value));
  if (!general || !(*general == fast)) std::abort();
}

void event_matches_general(std::string_view text) {
  event::Event fast;
  if (!event::read_event_text(text, fast)) return;
  auto value = json::parse(text);
  if (!value || !event::normalize_event_envelope(*value)) std::abort();
  auto general = json::decode<event::Event>(std::move(*value));
  if (!general || !(*general == fast)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  event_matches_general(text);
  straight_matches_general<agent::Agent>(text);
  straight_matches_general<result::Adjudicated>(text);
  return 0;
}
