// Snapshot: "Full environment snapshot."
#include "python/src/classes/data_class.h"
#include "python/src/classes/event_classes.h"
#include "python/src/convert/generated_id.h"
#include "python/src/convert/json_arg.h"

namespace revizer::python {
namespace {

using event::Snapshot;

// Snapshot(working_dir=Some("/w"), git_branch=None)
PyObject* snapshot_repr(const Snapshot& snapshot) {
  return ReprText("Snapshot")
      .optional_text("working_dir", snapshot.working_dir)
      .optional_text("git_branch", snapshot.git_branch)
      .finish();
}

// The variables, entry by entry in the dict's order, after every other
// argument: a key must be a str, a value becomes a JSON value; both errors
// are raised as they are.
bool finish_snapshot(Snapshot& snapshot, std::optional<PyObject*> variables) {
  if (!variables) return true;
  PyObject* dict = *variables;
  snapshot.variables.reserve(static_cast<std::size_t>(PyDict_Size(dict)));
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(dict, &pos, &key, &value)) {
    // Held while they are read: a value's conversion may run code that
    // changes the dict.
    Ref key_ref = Ref::borrow(key);
    Ref value_ref = Ref::borrow(value);
    auto name = to_text_view(key);
    if (!name) return false;
    auto json = py_to_json(value);
    if (!json) return false;
    snapshot.variables.insert_or_assign(std::string(*name), std::move(*json));
  }
  return true;
}

constexpr auto kSnapshot = describe<SnapshotClass, &finish_snapshot>(
    {.name = "Snapshot", .doc = "Full environment snapshot.", .repr = &snapshot_repr},
    prop("snapshot_id", &Snapshot::snapshot_id),
    kw<arg::Opt<arg::Text>>("working_dir", &Snapshot::working_dir, "None"),
    kw<arg::Opt<arg::Text>>("git_branch", &Snapshot::git_branch, "None"),
    kw<arg::OptList<arg::Text>>("open_files", &Snapshot::open_files, "None"),
    prop("git_branch", &Snapshot::git_branch),
    kw<arg::Opt<arg::Dict>>("variables", "None"),
    kw<arg::GeneratedId<kSnapshotIdPrefix>>("snapshot_id", &Snapshot::snapshot_id, "None"),
    prop("variables", &Snapshot::variables));

}  // namespace

template <>
const ClassDef& SnapshotClass::def() {
  return data_class<kSnapshot>();
}

}  // namespace revizer::python
