#include "python/src/client/event_coercion.h"

#include <string>
#include <string_view>
#include <utility>

#include "model/event/envelope_normalization.h"
#include "model/event/event_text.h"
#include "model/event/event_record.h"
#include "model/json/reader.h"
#include "python/src/binding/binding.h"
#include "python/src/classes/event_classes.h"
#include "python/src/convert/py_to_json.h"

namespace revizer::python {
namespace {

constexpr std::string_view kToJsonPrefix = "Invalid Event JSON: ";
constexpr std::string_view kDictPrefix = "Invalid Event dict: ";
constexpr std::string_view kTextPrefix = "Invalid Event JSON string: ";

[[gnu::cold]] Unexpected<PyErrSet> value_error(std::string_view prefix, const std::string& detail) {
  std::string text(prefix);
  text += detail;
  PyErr_SetString(PyExc_ValueError, text.c_str());
  return raised();
}

// Normalises and decodes an envelope; decoder failures carry `prefix`, the
// normaliser's refusal its own text.
PyResult<event::Event> decode_envelope(json::Value value, std::string_view prefix) {
  if (auto normalised = event::normalize_event_envelope(value); !normalised) {
    return value_error("", normalised.error().to_string());
  }
  auto decoded = json::decode<event::Event>(std::move(value));
  if (!decoded) return value_error(prefix, decoded.error().to_string());
  return std::move(*decoded);
}

PyResult<event::Event> read_envelope(std::string_view text, std::string_view prefix) {
  if (event::Event event; event::read_event_text(text, event)) return event;
  auto value = json::parse(text);
  if (!value) return value_error(prefix, value.error().to_string());
  return decode_envelope(std::move(*value), prefix);
}

// The text that `obj.to_json()` returns; nothing (with no error set) when
// the object has no such method, the call raises an Exception or the result
// is not a str; an error that is not an Exception stays set.
PyResult<Ref> to_json_text(PyObject* object, bool& found) {
  found = false;
  static PyObject* const name = PyUnicode_InternFromString("to_json");
  if (name == nullptr) return raised();
  PyObject* found_method = nullptr;
  if (PyObject_GetOptionalAttr(object, name, &found_method) < 0) {
    if (!discard_exception()) return raised();
    return Ref();
  }
  Ref method = Ref::steal(found_method);
  if (!method) return Ref();  // no such attribute
  Ref result = Ref::steal(PyObject_CallNoArgs(method.get()));
  if (!result) {
    if (!discard_exception()) return raised();
    return Ref();
  }
  if (!PyUnicode_Check(result.get())) return Ref();
  found = true;
  return result;
}

}  // namespace

PyResult<event::Event> event_from_py(PyObject* object) {
  // 1. An Event object: its record, not validated again.
  if (Instance<EventClass>* event = downcast<EventClass>(object)) return event->record;

  // 2. An object whose to_json() returns text: that text decides.
  bool found = false;
  auto text = to_json_text(object, found);
  if (!text) return raised();
  if (found) {
    auto view = to_text_view(text->get());
    if (!view) return raised();
    return read_envelope(*view, kToJsonPrefix);
  }

  // 3. A dict (anything that converts to a JSON object): that value decides.
  // A str never converts to one, so it goes straight on.
  if (!PyUnicode_Check(object)) {
    auto value = py_to_json(object);
    if (!value) {
      if (!discard_exception()) return raised();
    } else if (value->is_object()) {
      return decode_envelope(std::move(*value), kDictPrefix);
    }
  }

  // 4. JSON text.
  if (PyUnicode_Check(object)) {
    auto view = to_text_view(object);
    if (!view) return raised();
    return read_envelope(*view, kTextPrefix);
  }

  PyErr_SetString(PyExc_ValueError, "Expected an Event object, dict, or JSON string");
  return raised();
}

}  // namespace revizer::python
