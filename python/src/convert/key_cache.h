#pragma once

#include <Python.h>

#include <string_view>

namespace revizer::python {

// A str for a dict key, from a small per-thread cache of interned strings:
// record keys repeat on every `to_dict()`, and a cached key skips the
// allocation and the hashing that a fresh str costs in the dict. New
// reference, or null with the error set.
PyObject* dict_key(std::string_view key);

}  // namespace revizer::python
