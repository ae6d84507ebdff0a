// PolicyProvenance and PolicySetProvenance: read-only views of the policy sets
// a decoded result names. No constructor, no from_dict, no repr or comparison
// of their own: they compare by identity (inside an Adjudicated, by value).
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"

namespace revizer::python {
namespace {

using result::PolicyProvenance;
using result::PolicySetProvenance;

// Labels are kept in key order, but read back through a hash map: only
// to_dict gives them sorted.
template <class R>
PyObject* labels(const R& record) {
  const json::HashMap<std::string> hashed(record.labels.begin(), record.labels.end());
  return py_value(hashed);
}

constexpr auto kPolicyProvenance = describe<PolicyProvenanceClass>(
    {.name = "PolicyProvenance",
     .doc = "Policy evaluation result (control event).",
     .constructor = false,
     .from_dict = false,
     .compare = false},
    prop("name", &PolicyProvenance::name), prop<&labels<PolicyProvenance>>("labels", &PolicyProvenance::labels));

constexpr auto kPolicySetProvenance = describe<PolicySetProvenanceClass>(
    {.name = "PolicySetProvenance",
     .doc = "Exact server-resolved policy-set revision evaluated for a decision.",
     .constructor = false,
     .from_dict = false,
     .compare = false},
    prop("name", &PolicySetProvenance::name), prop("version", &PolicySetProvenance::version),
    prop("revision", &PolicySetProvenance::revision), prop("digest", &PolicySetProvenance::digest),
    prop<&labels<PolicySetProvenance>>("labels", &PolicySetProvenance::labels),
    prop("policies", &PolicySetProvenance::policies));

}  // namespace

template <>
const ClassDef& PolicyProvenanceClass::def() {
  return data_class<kPolicyProvenance>();
}

template <>
const ClassDef& PolicySetProvenanceClass::def() {
  return data_class<kPolicySetProvenance>();
}

}  // namespace revizer::python
