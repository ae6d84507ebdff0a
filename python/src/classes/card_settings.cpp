// CodingAgentCardSettingsSnapshot: "A settings snapshot from an agent runtime
// configuration."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::CodingAgentCardSettingsSnapshot;
using Snapshot = CodingAgentCardSettingsSnapshot;

// CodingAgentCardSettingsSnapshot(scope="user", path="~/.agent/settings.json")
PyObject* repr_impl(const Snapshot& snapshot) {
  return ReprText("CodingAgentCardSettingsSnapshot")
      .quoted("scope", snapshot.scope)
      .quoted("path", snapshot.path)
      .finish();
}

// The MCP server map comes only from a dict: no parameter and no property.
constexpr auto kCodingAgentCardSettingsSnapshot = describe<CodingAgentCardSettingsSnapshotClass>(
    {.name = "CodingAgentCardSettingsSnapshot",
     .doc = "A settings snapshot from an agent runtime configuration.",
     .repr = &repr_impl},
    kw<arg::Text>("scope", &Snapshot::scope),
    kw<arg::Text>("path", &Snapshot::path),
    kw<arg::Text>("content_sha256", &Snapshot::content_sha256),
    kw<arg::OptList<arg::Text>>("allow_permissions", &Snapshot::allow_permissions, "None"),
    kw<arg::OptList<arg::Text>>("deny_permissions", &Snapshot::deny_permissions, "None"),
    kw<arg::OptList<arg::Text>>("hook_commands", &Snapshot::hook_commands, "None"));

}  // namespace

template <>
const ClassDef& CodingAgentCardSettingsSnapshotClass::def() {
  return data_class<kCodingAgentCardSettingsSnapshot>();
}

}  // namespace revizer::python
