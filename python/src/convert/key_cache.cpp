#include "python/src/convert/key_cache.h"

#include <array>
#include <cstdint>
#include <string>

#include "python/src/binding/text.h"

namespace revizer::python {
namespace {

// Direct-mapped: a miss replaces the slot, so a cache never grows. Only
// short texts are cached; the entries belong to one interpreter.
constexpr std::size_t kMaxKeyBytes = 40;

struct Slot {
  std::string key;
  PyObject* object = nullptr;  // a strong reference, never released on thread exit
};

template <std::size_t Slots>
struct Cache {
  PyInterpreterState* interpreter = nullptr;
  std::array<Slot, Slots> slots;
};

std::size_t hash_of(std::string_view key) {
  std::uint32_t h = static_cast<std::uint32_t>(key.size()) * 0x9E3779B1u;
  for (unsigned char c : key) h = (h ^ c) * 0x01000193u;
  return h ^ (h >> 16);
}

PyObject* fresh_key(std::string_view key) { return new_str(key); }

// The cached str for `key` from `cache`, made (and interned when `Intern`)
// on a miss.
template <bool Intern, std::size_t Slots>
PyObject* cached(Cache<Slots>& cache, std::string_view key) {
  if (key.size() > kMaxKeyBytes) return fresh_key(key);
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  if (cache.interpreter != interpreter) {
    if (cache.interpreter != nullptr) return fresh_key(key);  // a thread moved between interpreters
    cache.interpreter = interpreter;
  }
  Slot& slot = cache.slots[hash_of(key) % Slots];
  if (slot.object != nullptr && slot.key == key) return Py_NewRef(slot.object);
  PyObject* object = fresh_key(key);
  if (object == nullptr) return nullptr;
  if constexpr (Intern) PyUnicode_InternInPlace(&object);
  Py_XDECREF(slot.object);
  slot.key.assign(key);
  slot.object = Py_NewRef(object);
  return object;
}

}  // namespace

PyObject* dict_key(std::string_view key) {
  thread_local Cache<256> cache;
  return cached<true>(cache, key);
}

PyObject* short_str(std::string_view text) {
  thread_local Cache<1024> cache;
  return cached<false>(cache, text);
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
