#include "python/src/classes/event_envelope.h"

#include <atomic>
#include <string>

#include "model/event/event_record.h"
#include "python/src/binding/binding.h"
#include "python/src/convert/key_cache.h"
#include "python/src/convert/py_to_record.h"

namespace revizer::python {

Unexpected<PyErrSet> envelope_value_error(const event::EnvelopeDecodeError& error, std::string_view prefix) {
  std::string text(error.is_refusal() ? std::string_view() : prefix);
  text += error.to_string();
  set_error_text(PyExc_ValueError, text);
  return raised();
}

PyResult<bool> read_plain_event_dict(PyObject* data, event::Event& out) {
  // Normalising a dict without "raw" changes nothing, so such a dict of
  // plain data reads the same straight into the record.
  if (!PyDict_CheckExact(data)) return false;
  static std::atomic<PyObject*> raw_key{nullptr};
  PyObject* raw = static_key(raw_key, "raw");
  const int has_raw = raw == nullptr ? -1 : PyDict_Contains(data, raw);
  if (has_raw < 0) {
    if (!discard_exception()) return raised();
    return false;
  }
  return has_raw == 0 && read_from_py(data, out);
}

}  // namespace revizer::python
