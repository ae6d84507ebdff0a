#pragma once

// The events that RevizerClient.adjudicate and adjudicates take, in the
// order the shapes are tried: an Event object (its record copied as it is),
// an object whose `to_json()` returns text, a dict in the event's JSON form,
// JSON text. Dicts and texts are normalised (provider-hook "raw" data moved
// into typed fields) before they are decoded. Every refusal is a ValueError:
//   "Invalid Event JSON: {}"          to_json() text that does not read or decode
//   "Invalid Event dict: {}"          a dict that does not decode
//   "Invalid Event JSON string: {}"   a str that does not read or decode
//   the normaliser's own text         JSON that is not an object
//   "Expected an Event object, dict, or JSON string"
// A shape that does not apply is passed over; only an Exception raised while
// trying it is discarded (an interrupt, SystemExit or the panic exception
// ends the conversion with itself).

#include <Python.h>

#include "model/event/event.h"
#include "python/src/binding/ref.h"

namespace revizer::python {

PyResult<event::Event> event_from_py(PyObject* object);

}  // namespace revizer::python
