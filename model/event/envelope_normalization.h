#pragma once

// Envelopes that arrive as dicts or JSON text may still carry a provider
// hook's untyped data under "raw". Before decoding, normalisation takes
// "raw" out and carries the fields the typed model has a place for into the
// envelope's coding-agent card:
//
//   raw "cwd"              -> card "workspace_root"
//   raw "initial_label"    -> card "normalized_context" "tavimor.initial_label"
//   raw "hook_event_name"  -> ... "codex.hook_event_name" (trimmed)
//   raw "permission_mode"  -> ... "codex.permission_mode"
//   raw "transcript_path"  -> ... "codex.transcript_path"
//
// Only non-empty strings are carried, and never over a non-empty string the
// envelope already holds: typed data wins over raw data.

#include <string>

#include "model/json/value.h"
#include "support/result.h"

namespace revizer::event {

// The one refusal: the envelope is not a JSON object. Its text is a fixed
// message, a space and the detail.
struct EnvelopeError {
  std::string detail;

  std::string to_string() const;
  friend bool operator==(const EnvelopeError&, const EnvelopeError&) = default;
};

// Works in place. Anything but an object fails and is left untouched; an
// agent, card or context of an unexpected shape is passed over for the
// decoder to judge.
Status<EnvelopeError> normalize_event_envelope(json::Value& envelope);

}  // namespace revizer::event
