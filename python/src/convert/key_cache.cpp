#include "python/src/convert/key_cache.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "python/src/binding/text.h"

namespace revizer::python {
namespace {

// Two-way set-associative: a text goes to one set of two slots, a miss
// replaces the older of the two, so a cache never grows, and two texts of
// one conversion that share a set both stay (in a direct-mapped table they
// would evict each other on every call). Only short ASCII texts are cached
// (their str holds the very bytes, so a hit is checked against the str
// itself); the entries belong to one interpreter.
constexpr std::size_t kMaxCachedBytes = 64;

// The str itself is the entry: a hit must compare its bytes anyway, and a
// slot of one pointer keeps the table small enough to stay in the CPU caches.
struct Slot {
  PyObject* object = nullptr;  // a strong reference, never released on thread exit
};

template <std::size_t Sets>
struct Cache {
  static_assert((Sets & (Sets - 1)) == 0, "a power of two");
  // The most recently used slot of a set first.
  std::array<std::array<Slot, 2>, Sets> sets;
};

// A hash of the length and of three words of the text (the first, middle
// and last eight bytes, overlapping in shorter texts), so that a lookup costs
// the same for any length: a hit is confirmed against the cached str's bytes
// anyway, and texts that differ only elsewhere merely share a set. Shorter
// texts are read as overlapping halves: copying bytes one by one into a word
// stalls the load that follows. The two products are independent, so the
// lookup waits for one multiplication, not a chain of them; the set comes
// from their high bits, which every input bit reaches.
[[gnu::always_inline]] inline std::uint64_t hash_of(std::string_view text) {
  constexpr std::uint64_t kFirst = 0x9E3779B97F4A7C15ull;
  constexpr std::uint64_t kSecond = 0xC2B2AE3D27D4EB4Full;
  const char* p = text.data();
  const std::size_t n = text.size();
  auto load8 = [](const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    return word;
  };
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  if (n >= 8) {
    a = load8(p);
    b = load8(p + (n - 8) / 2) ^ std::rotl(load8(p + n - 8), 32);
  } else if (n >= 4) {
    std::uint32_t first, last;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + n - 4, 4);
    a = std::uint64_t{first} << 32 | last;
  } else if (n != 0) {
    const auto byte = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
    a = byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16;
  }
  return (((a ^ n) * kFirst) ^ ((b + n) * kSecond)) >> 32;
}

bool is_ascii(std::string_view text) {
  std::uint64_t high = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    high |= word;
  }
  for (; i < text.size(); ++i) high |= static_cast<unsigned char>(text[i]);
  return (high & 0x8080808080808080ull) == 0;
}

// A new str of ASCII bytes: no decoding needed.
PyObject* ascii_str(std::string_view text) {
  PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127);
  if (str != nullptr && !text.empty()) std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
  return str;
}

bool holds(PyObject* str, std::string_view text) {
  return static_cast<std::size_t>(PyUnicode_GET_LENGTH(str)) == text.size() &&
         std::memcmp(PyUnicode_1BYTE_DATA(str), text.data(), text.size()) == 0;
}

// The cached str for `text` from `cache`, made (and interned when `Intern`)
// on a miss.
template <bool Intern, std::size_t Sets>
PyObject* cached(Cache<Sets>& cache, std::string_view text) {
  if (text.size() > kMaxCachedBytes) return new_str(text);
  auto& set = cache.sets[hash_of(text) & (Sets - 1)];
  // A cached str is ASCII, so equal bytes prove the text ASCII too.
  if (set[0].object != nullptr && holds(set[0].object, text)) return Py_NewRef(set[0].object);
  if (set[1].object != nullptr && holds(set[1].object, text)) {
    std::swap(set[0], set[1]);
    return Py_NewRef(set[0].object);
  }
  if (!is_ascii(text)) return new_str(text);
  PyObject* object = ascii_str(text);
  if (object == nullptr) return nullptr;
  if constexpr (Intern) PyUnicode_InternInPlace(&object);
  Py_XDECREF(set[1].object);
  set[1] = set[0];
  set[0].object = Py_NewRef(object);
  return object;
}

}  // namespace

struct StrCaches {
  PyInterpreterState* interpreter = nullptr;
  Cache<128> keys;
  Cache<512> values;
};

StrCaches* str_caches() noexcept {
  thread_local StrCaches caches;
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  if (caches.interpreter != interpreter) {
    if (caches.interpreter != nullptr) return nullptr;  // a thread moved between interpreters
    caches.interpreter = interpreter;
  }
  return &caches;
}

PyObject* dict_key(StrCaches* caches, std::string_view key) {
  if (caches == nullptr) return new_str(key);
  return cached<true>(caches->keys, key);
}

PyObject* short_str(StrCaches* caches, std::string_view text) {
  if (caches == nullptr) return new_str(text);
  return cached<false>(caches->values, text);
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
