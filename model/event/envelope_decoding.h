#pragma once

// An event from its envelope, in the forms that arrive from outside: a JSON
// value (a dict's JSON form) or JSON text. The value is normalised
// (envelope_normalization.h), then decoded; text is read first, straight
// into the record where event_text.h can, else parsed and taken as a value.
//
//   Event event;
//   if (auto read = read_event_envelope(text, event); !read) ... read.error().to_string() ...

#include <string>
#include <string_view>
#include <variant>

#include "model/event/envelope_normalization.h"
#include "model/event/event.h"
#include "model/json/codec_error.h"
#include "model/json/value.h"
#include "support/result.h"

namespace revizer::event {

// Why an envelope gave no event: the normaliser's refusal (not an object),
// whose text stands alone, or the reader's or decoder's error, which a
// caller may introduce with words of its own.
struct EnvelopeDecodeError {
  std::variant<EnvelopeError, json::CodecError> cause;

  bool is_refusal() const { return std::holds_alternative<EnvelopeError>(cause); }
  std::string to_string() const;
};

Result<Event, EnvelopeDecodeError> decode_event_envelope(json::Value envelope);
// Reads into `out`, which must be freshly made (plain text goes straight
// into it); unspecified after an error.
Status<EnvelopeDecodeError> read_event_envelope(std::string_view text, Event& out);

}  // namespace revizer::event
