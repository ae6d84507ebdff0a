// Adjudicated: "Policy evaluation result (control event)." The client's
// answer for each event and a control payload; besides the data-class rows
// it has three factories and the two deny texts.
#include "model/result/deny_message.h"
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"
#include "python/src/enums/result_enums.h"

namespace revizer::python {
namespace {

using result::Adjudicated;

// Adjudicated(decision=Decision.DENY, mode=Mode.MONITOR)
PyObject* repr_impl(const Adjudicated& result) {
  return ReprText("Adjudicated").member("decision", result.decision).member("mode", result.mode).finish();
}

// `policy_sources` comes only from decoding: it has no parameter.
constexpr auto kAdjudicated = describe<AdjudicatedClass>(
    {.name = "Adjudicated", .doc = "Policy evaluation result (control event).", .repr = &repr_impl},
    pos<arg::Enum<Decision>>("decision", &Adjudicated::decision),
    kw<arg::NoneDefaulted<arg::Enum<Mode>>>("mode", &Adjudicated::mode, "None"),
    kw<arg::Opt<arg::Text>>("reason", &Adjudicated::reason, "None"),
    kw<arg::OptList<arg::Record<PolicyMetadataClass>>>("metadata", &Adjudicated::metadata, "None"),
    kw<arg::Opt<arg::Record<GuardrailResultsClass>>>("guardrails", &Adjudicated::guardrails, "None"),
    kw<arg::Opt<arg::Record<SteeringClass>>>("steering", &Adjudicated::steering, "None"),
    prop("policy_sources", &Adjudicated::policy_sources));

template <result::Decision D>
PyObject* decided() {
  Adjudicated result;
  result.decision = D;
  return create_object<AdjudicatedClass>(std::move(result));
}

PyObject* format_policy_context_impl(const Adjudicated& result) {
  return py_value(result::policy_context_text(result.metadata));
}

constexpr auto kDenyMessage = signature("Adjudicated", "deny_message",
                                        "deny_message($self, default_reason)\n--\n\n"
                                        "Build a deny message with policy context appended.",
                                        pos("default_reason"));

PyObject* deny_message_impl(const Adjudicated& result, std::string_view default_reason) {
  return new_str(result::deny_message(result, default_reason));
}

}  // namespace

template <>
const ClassDef& AdjudicatedClass::def() {
  using enum result::Decision;
  return data_class<kAdjudicated>({.methods = {
      static_method<&decided<Allow>>("allow", "allow()\n--\n\nCreate an allow decision."),
      static_method<&decided<Deny>>("deny", "deny()\n--\n\nCreate a deny decision."),
      static_method<&decided<Escalate>>("escalate", "escalate()\n--\n\nCreate an escalate decision."),
      method<AdjudicatedClass, &format_policy_context_impl>(
          "format_policy_context",
          "format_policy_context($self)\n--\n\nFormat policy metadata into a structured context string."),
      method<AdjudicatedClass, kDenyMessage, &deny_message_impl, arg::TextView>(),
  }});
}

}  // namespace revizer::python
