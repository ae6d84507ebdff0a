// update_env_file(updates): rewrites the user env file with a dict of
// changes (a str sets a key, None removes it) and returns the path written.
#include <Python.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/env/env_path.h"
#include "common/env/env_rewrite.h"
#include "common/env/env_updates.h"
#include "python/src/binding/binding.h"
#include "python/src/functions/module_functions.h"

namespace revizer::python {
namespace {

constexpr auto kUpdateEnvFile = signature(
    nullptr, "update_env_file",
    "update_env_file(updates)\n--\n\n"
    "Update environment variables in `~/.tavimor/env` with atomic writes.\n\n"
    "Preserves comments, blank lines, and ordering. Keys mapped to ``None``\n"
    "are removed; keys mapped to a string are set or overwritten. New keys\n"
    "are appended at the end.\n\n"
    "Returns the path to the updated file.\n\n"
    "Raises ``OSError`` on I/O failures.",
    pos("updates"));

using Changes = std::vector<std::pair<std::string, std::optional<std::string>>>;

// A dict (or subclass) of str keys to str or None values, in the dict's order.
struct ChangesArg {
  using type = Changes;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) {
    if (!PyDict_Check(object)) {
      type_check_error(object, "dict");
      return raised();
    }
    Changes changes;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(object, &position, &key, &value)) {
      auto key_text = to_text(key);
      if (!key_text) return raised();
      std::optional<std::string> value_text;
      if (value != Py_None) {
        auto text = to_text(value);
        if (!text) return raised();
        value_text = std::move(*text);
      }
      changes.emplace_back(std::move(*key_text), std::move(value_text));
    }
    return changes;
  }
};

PyObject* update_env_file_impl(Changes changes) {
  // Keys and values that would break the file's lines are refused before
  // anything is touched.
  common::EnvUpdates updates;
  for (auto& [key, value] : changes) {
    if (auto set = updates.set(std::move(key), std::move(value)); !set) {
      set_error_text(PyExc_ValueError, set.error().text);
      return nullptr;
    }
  }
  auto path = common::resolve_env_file_path();
  auto written = path ? common::apply_env_updates(*path, updates) : fail(std::move(path).error());
  if (!written) {
    // Only the text: no errno, so the OSError's str() is exactly the text.
    // A text that cannot be made (no memory) leaves that error set instead.
    set_error_text(PyExc_OSError, written.error().text(), "replace");
    return nullptr;
  }
  return new_str(*written, "replace");
}

}  // namespace

PyMethodDef* update_env_file_def() {
  static PyMethodDef def = function<kUpdateEnvFile, &update_env_file_impl, ChangesArg>();
  return &def;
}

}  // namespace revizer::python
