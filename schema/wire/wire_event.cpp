#include "schema/wire/wire_event.h"

namespace revizer::wire {
namespace {

// JSON equality of two payloads: same keys, equal values, in any order.
bool same_payload(const std::optional<json::Object>& a, const std::optional<json::Object>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  if (a->size() != b->size()) return false;
  for (const json::Member& m : *a) {
    const json::Value* other = b->find(m.key);
    if (other == nullptr || !(*other == m.value)) return false;
  }
  return true;
}

}  // namespace

bool operator==(const WireEvent& a, const WireEvent& b) {
  return a.event_id == b.event_id && a.trajectory_id == b.trajectory_id && a.agent_id == b.agent_id &&
         a.timestamp == b.timestamp && a.event_type == b.event_type && a.event_name == b.event_name &&
         same_payload(a.payload, b.payload);
}

}  // namespace revizer::wire
