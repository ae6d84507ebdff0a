#pragma once

// The Python edge of the envelope decoder (model/event/envelope_decoding.h),
// shared by Event.from_dict/from_json and the client's event arguments.

#include <Python.h>

#include <string_view>

#include "model/event/envelope_decoding.h"
#include "model/event/event.h"
#include "python/src/binding/ref.h"

namespace revizer::python {

// A ValueError with the decoder's text after `prefix`; the normaliser's
// refusal keeps its own text alone.
[[gnu::cold]] Unexpected<PyErrSet> envelope_value_error(const event::EnvelopeDecodeError& error,
                                                        std::string_view prefix = {});

// An envelope in a plain dict read straight into `out` (a fresh Event):
// true when read; false where the general reading (JSON form, normalise,
// decode) must decide, with no error set; an error when asking the dict
// for "raw" raised something that is not an Exception.
PyResult<bool> read_plain_event_dict(PyObject* data, event::Event& out);

}  // namespace revizer::python
