#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <string_view>

namespace revizer::python {

// The str caches below belong to a thread and an interpreter. A conversion
// looks them up once and hands them to every str it makes: a thread-local
// access and an interpreter check per str cost as much as a cache hit. Null
// when this thread's caches belong to another interpreter; every str is
// then made fresh.
struct StrCaches;
StrCaches* str_caches() noexcept;

// A str for a dict key, from a small per-thread cache of interned strings:
// record keys repeat on every `to_dict()`, and a cached key skips the
// allocation and the hashing that a fresh str costs in the dict. New
// reference, or null with the error set.
PyObject* dict_key(StrCaches* caches, std::string_view key);

// A str for a short value text (a name, an identifier, a path), from a
// larger per-thread cache that does not intern: the values of a record's
// dict form repeat across the events of a trajectory, and sharing one str
// skips an allocation and a free per value. Longer or non-ASCII texts get
// a fresh str. New reference, or null with the error set.
PyObject* short_str(StrCaches* caches, std::string_view text);

namespace detail {
PyObject* make_static_key(std::atomic<PyObject*>& slot, std::string_view key);
}

// The str for a key fixed at build time (a record field's key), interned on
// first use into `slot` and kept for the life of the process, like the
// binder's keyword names: afterwards one load, no lookup. Borrowed
// reference, or null with the error set.
inline PyObject* static_key(std::atomic<PyObject*>& slot, std::string_view key) {
  if (PyObject* ready = slot.load(std::memory_order_acquire)) return ready;
  return detail::make_static_key(slot, key);
}

// The interned key of field I of record R (its description's key `key`),
// shared by every call: the dict writer inserts it, and the dict reader
// matches a dict's own interned keys against it by pointer.
template <class R, std::size_t I>
PyObject* field_key(std::string_view key) {
  static std::atomic<PyObject*> slot{nullptr};
  return static_key(slot, key);
}

}  // namespace revizer::python
