#pragma once

// An event envelope straight from JSON text, beside the general reading
// (parse, normalize_event_envelope, decode<Event>). It gives up, returning
// false, wherever that reading could differ: an envelope with "raw" (which
// normalisation rewrites), and everything json::read_text leaves to the
// tree path. Callers then take the general reading, which also makes every
// error.
//
//   Event event;
//   if (!read_event_text(text, event)) { ... parse, normalise, decode ... }

#include <string_view>

#include "model/event/event.h"

namespace revizer::event {

// `out` must be freshly made; unspecified after false.
bool read_event_text(std::string_view text, Event& out);

}  // namespace revizer::event
