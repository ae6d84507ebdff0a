#pragma once

// The Event class and the two readers of an envelope that it shares with
// every other place that takes events as dicts or JSON text: normalise the
// envelope, then decode it. Failures are ValueErrors with the normaliser's
// or the decoder's text (" at line {} column {}" only for unreadable text).

#include <string_view>

#include "model/event/event_record.h"
#include "model/json/value.h"
#include "python/src/binding/binding.h"
#include "python/src/classes/event_classes.h"

namespace revizer::python {

PyResult<event::Event> event_from_json_value(json::Value value);
PyResult<event::Event> event_from_json_text(std::string_view text);

}  // namespace revizer::python
