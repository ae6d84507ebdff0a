#include "python/src/convert/key_cache.h"

#include <array>
#include <cstdint>
#include <string>

#include "python/src/binding/text.h"

namespace revizer::python {
namespace {

// Direct-mapped: a miss replaces the slot, so the cache never grows. Only
// short keys are cached; the entries belong to one interpreter.
constexpr std::size_t kSlots = 256;
constexpr std::size_t kMaxKeyBytes = 40;

struct Slot {
  std::string key;
  PyObject* object = nullptr;  // a strong reference, never released on thread exit
};

struct Cache {
  PyInterpreterState* interpreter = nullptr;
  std::array<Slot, kSlots> slots;
};

std::size_t slot_of(std::string_view key) {
  std::uint32_t h = static_cast<std::uint32_t>(key.size()) * 0x9E3779B1u;
  for (unsigned char c : key) h = (h ^ c) * 0x01000193u;
  return (h ^ (h >> 16)) % kSlots;
}

PyObject* fresh_key(std::string_view key) { return new_str(key); }

}  // namespace

PyObject* dict_key(std::string_view key) {
  if (key.size() > kMaxKeyBytes) return fresh_key(key);
  thread_local Cache cache;
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  if (cache.interpreter != interpreter) {
    if (cache.interpreter != nullptr) return fresh_key(key);  // a thread moved between interpreters
    cache.interpreter = interpreter;
  }
  Slot& slot = cache.slots[slot_of(key)];
  if (slot.object != nullptr && slot.key == key) return Py_NewRef(slot.object);
  PyObject* object = fresh_key(key);
  if (object == nullptr) return nullptr;
  PyUnicode_InternInPlace(&object);
  Py_XDECREF(slot.object);
  slot.key.assign(key);
  slot.object = Py_NewRef(object);
  return object;
}

}  // namespace revizer::python

namespace revizer::python::detail {

PyObject* make_static_key(std::atomic<PyObject*>& slot, std::string_view key) {
  PyObject* made = new_str(key);
  if (made == nullptr) return nullptr;
  PyUnicode_InternInPlace(&made);
  PyObject* expected = nullptr;
  if (slot.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
  // A racing thread stored an equal string first.
  Py_DECREF(made);
  return expected;
}

}  // namespace revizer::python::detail
