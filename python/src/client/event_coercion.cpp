#include "python/src/client/event_coercion.h"

#include <string_view>
#include <utility>

#include "model/event/envelope_decoding.h"
#include "python/src/binding/binding.h"
#include "python/src/classes/event_classes.h"
#include "python/src/classes/event_envelope.h"
#include "python/src/convert/py_to_json.h"

namespace revizer::python {
namespace {

constexpr std::string_view kToJsonPrefix = "Invalid Event JSON: ";
constexpr std::string_view kDictPrefix = "Invalid Event dict: ";
constexpr std::string_view kTextPrefix = "Invalid Event JSON string: ";

PyResult<event::Event> read_envelope(std::string_view text, std::string_view prefix) {
  event::Event event;
  if (auto read = event::read_event_envelope(text, event); !read) return envelope_value_error(read.error(), prefix);
  return event;
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
    event::Event event;
    auto read = read_plain_event_dict(object, event);
    if (!read) return raised();
    if (*read) return event;
    auto value = py_to_json(object);
    if (!value) {
      if (!discard_exception()) return raised();
    } else if (value->is_object()) {
      auto decoded = event::decode_event_envelope(std::move(*value));
      if (!decoded) return envelope_value_error(decoded.error(), kDictPrefix);
      return std::move(*decoded);
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
