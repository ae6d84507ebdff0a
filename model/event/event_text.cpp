#include "model/event/event_text.h"

#include "model/event/event_record.h"
#include "model/json/pull_reader.h"

namespace revizer::event {

bool read_event_text(std::string_view text, Event& out) { return json::read_text(text, out, "raw"); }

}  // namespace revizer::event
