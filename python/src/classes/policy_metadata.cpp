// PolicyMetadata: "Cedar policy metadata."
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"

namespace revizer::python {
namespace {

using result::PolicyMetadata;
using OptText = arg::Opt<arg::Text>;

// PolicyMetadata(policy_id="p"), or PolicyMetadata() without an id.
PyObject* repr_impl(const PolicyMetadata& policy) {
  ReprText repr("PolicyMetadata");
  if (policy.policy_id) repr.quoted("policy_id", *policy.policy_id);
  return repr.finish();
}

constexpr auto kPolicyMetadata = describe<PolicyMetadataClass>(
    {.name = "PolicyMetadata", .doc = "Cedar policy metadata.", .repr = &repr_impl},
    kw<OptText>("policy_id", &PolicyMetadata::policy_id, "None"),
    kw<OptText>("description", &PolicyMetadata::description, "None"),
    kw<arg::Defaulted<arg::Bool>>("escalate", &PolicyMetadata::escalate, "False")
        .doc("Whether this policy requires escalation to a human or other oracle."),
    kw<OptText>("escalate_arg", &PolicyMetadata::escalate_arg, "None").doc("The argument passed to @escalate, if any."),
    kw<arg::NoneDefaulted<arg::StrMap>>("metadata", &PolicyMetadata::metadata, "None"));

}  // namespace

template <>
const ClassDef& PolicyMetadataClass::def() {
  return data_class<kPolicyMetadata>();
}

}  // namespace revizer::python
