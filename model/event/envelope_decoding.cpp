#include "model/event/envelope_decoding.h"

#include <utility>

#include "model/event/event_record.h"
#include "model/event/event_text.h"
#include "model/json/codec.h"
#include "model/json/reader.h"

namespace revizer::event {

std::string EnvelopeDecodeError::to_string() const {
  return std::visit([](const auto& error) { return error.to_string(); }, cause);
}

Result<Event, EnvelopeDecodeError> decode_event_envelope(json::Value envelope) {
  if (auto normalised = normalize_event_envelope(envelope); !normalised) {
    return fail(EnvelopeDecodeError{std::move(normalised).error()});
  }
  auto decoded = json::decode<Event>(std::move(envelope));
  if (!decoded) return fail(EnvelopeDecodeError{std::move(decoded).error()});
  return std::move(*decoded);
}

Status<EnvelopeDecodeError> read_event_envelope(std::string_view text, Event& out) {
  if (read_event_text(text, out)) return Ok{};
  auto value = json::parse(text);
  if (!value) return fail(EnvelopeDecodeError{std::move(value).error()});
  auto event = decode_event_envelope(std::move(*value));
  if (!event) return fail(std::move(event).error());
  out = std::move(*event);
  return Ok{};
}

}  // namespace revizer::event
