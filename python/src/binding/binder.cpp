#include "python/src/binding/binder.h"

#include <memory>
#include <new>
#include <string>

#include "python/src/binding/entry.h"

namespace revizer::python {
namespace {

// "Class.callable()" or "callable()" for module functions.
std::string display_name(const SignatureView& sig) {
  std::string name;
  if (sig.class_name != nullptr) {
    name += sig.class_name;
    name += '.';
  }
  name += sig.callable;
  name += "()";
  return name;
}

[[gnu::cold]] bool too_many_positional(const SignatureView& sig, Py_ssize_t given) {
  const std::string name = display_name(sig);
  const char* verb = given == 1 ? "was" : "were";
  if (sig.required_positional == sig.positional) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", name.c_str(), sig.positional,
                 given, verb);
  } else {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given", name.c_str(),
                 sig.required_positional, sig.positional, given, verb);
  }
  return false;
}

[[gnu::cold]] bool unexpected_keyword(const SignatureView& sig, PyObject* keyword) {
  PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", display_name(sig).c_str(), keyword);
  return false;
}

[[gnu::cold]] bool multiple_values(const SignatureView& sig, const Param& param) {
  PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", display_name(sig).c_str(), param.name);
  return false;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(const SignatureView& sig, PyObject** slots, bool keyword_only, std::size_t& count) {
  std::string text;
  count = 0;
  std::string pending;  // the latest name, held back until we know if it is the last
  for (std::size_t i = 0; i < sig.count; ++i) {
    const Param& param = sig.params[i];
    if (param.keyword_only != keyword_only || !param.required || slots[i] != nullptr) continue;
    if (count > 0) {
      if (count > 1) text += ", ";
      text += pending;
    }
    pending = std::string("'") + param.name + "'";
    ++count;
  }
  if (count == 1) return pending;
  if (count == 2) return text + " and " + pending;
  return text + ", and " + pending;
}

[[gnu::cold]] bool missing_arguments(const SignatureView& sig, PyObject** slots, bool keyword_only) {
  std::size_t count = 0;
  const std::string names = quoted_list(sig, slots, keyword_only, count);
  PyErr_Format(PyExc_TypeError, "%s missing %zu required %s %s: %s", display_name(sig).c_str(), count,
               keyword_only ? "keyword" : "positional", count == 1 ? "argument" : "arguments", names.c_str());
  return false;
}

// Index of the parameter called `keyword`, -1 for none, -2 with an
// interrupt set while reading the name: pointer comparison first
// (interned names), then by value. Keyword-only parameters are looked at
// first, as in the binder's rules; names are unique, so only speed differs.
Py_ssize_t find_param(const SignatureView& sig, PyObject* const* names, PyObject* keyword) {
  for (std::size_t i = sig.positional; i < sig.count; ++i) {
    if (names[i] == keyword) return static_cast<Py_ssize_t>(i);
  }
  for (std::size_t i = 0; i < sig.positional; ++i) {
    if (names[i] == keyword) return static_cast<Py_ssize_t>(i);
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(keyword, &size);
  if (text == nullptr) return discard_exception() ? -1 : -2;  // an unreadable name matches nothing
  const std::string_view wanted(text, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < sig.count; ++i) {
    if (wanted == sig.params[i].name) return static_cast<Py_ssize_t>(i);
  }
  return -1;
}

bool bind_keyword(const SignatureView& sig, PyObject* const* names, PyObject* keyword, PyObject* value,
                  PyObject** slots) {
  const Py_ssize_t index = PyUnicode_Check(keyword) ? find_param(sig, names, keyword) : -1;
  if (index == -2) return false;
  if (index < 0) return unexpected_keyword(sig, keyword);
  if (slots[index] != nullptr) return multiple_values(sig, sig.params[index]);
  slots[index] = value;
  return true;
}

bool check_missing(const SignatureView& sig, PyObject** slots, Py_ssize_t nargs) {
  // The common case: the required positional ones came by position and no
  // keyword-only one is required.
  if (static_cast<std::size_t>(nargs) >= sig.required_positional && sig.required_keyword == 0) return true;
  for (std::size_t i = 0; i < sig.count; ++i) {
    if (sig.params[i].required && slots[i] == nullptr && !sig.params[i].keyword_only) {
      return missing_arguments(sig, slots, false);
    }
  }
  for (std::size_t i = 0; i < sig.count; ++i) {
    if (sig.params[i].required && slots[i] == nullptr) return missing_arguments(sig, slots, true);
  }
  return true;
}

}  // namespace

namespace detail {

PyObject** intern_all(const Param* params, std::size_t count) noexcept {
  try {
    auto names = std::make_unique<PyObject*[]>(count == 0 ? 1 : count);
    for (std::size_t i = 0; i < count; ++i) {
      names[i] = PyUnicode_InternFromString(params[i].name);
      if (names[i] == nullptr) {
        for (std::size_t j = 0; j < i; ++j) Py_DECREF(names[j]);
        return nullptr;
      }
    }
    // Process-wide and never released, like the strings it holds.
    return names.release();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return nullptr;
  }
}

}  // namespace detail

bool bind_vector(const SignatureView& sig, PyObject* const* names, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames, PyObject** slots) noexcept {
  try {
    if (static_cast<std::size_t>(nargs) > sig.positional) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames != nullptr) {
      const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
      for (Py_ssize_t i = 0; i < nkw; ++i) {
        if (!bind_keyword(sig, names, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], slots)) return false;
      }
    }
    return check_missing(sig, slots, nargs);
  } catch (...) {
    PyErr_NoMemory();  // only the cold message building allocates
    return false;
  }
}

bool bind_tuple(const SignatureView& sig, PyObject* const* names, PyObject* args, PyObject* kwargs,
                PyObject** slots) noexcept {
  try {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (static_cast<std::size_t>(nargs) > sig.positional) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = PyTuple_GET_ITEM(args, i);
    if (kwargs != nullptr) {
      Py_ssize_t pos = 0;
      PyObject* keyword = nullptr;
      PyObject* value = nullptr;
      while (PyDict_Next(kwargs, &pos, &keyword, &value)) {
        if (!bind_keyword(sig, names, keyword, value, slots)) return false;
      }
    }
    return check_missing(sig, slots, nargs);
  } catch (...) {
    PyErr_NoMemory();
    return false;
  }
}

}  // namespace revizer::python
