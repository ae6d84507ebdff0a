// IfcGuardrailResult: the information-flow guardrail.
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"

namespace revizer::python {
namespace {

using result::IfcGuardrailResult;
using OptText = arg::Opt<arg::Text>;

// IfcGuardrailResult(label=restricted, fallback_reason=None, available=None,
// has_explanation=false): the one repr whose texts stand unquoted.
PyObject* repr_impl(const IfcGuardrailResult& result) {
  const char* available = !result.available ? "None" : *result.available ? "true" : "false";
  return ReprText("IfcGuardrailResult")
      .plain("label", result.label)
      .plain("fallback_reason", result.fallback_reason ? std::string_view(*result.fallback_reason) : "None")
      .plain("available", available)
      .boolean("has_explanation", result.explanation.has_value())
      .finish();
}

constexpr auto kIfcGuardrailResult = describe<IfcGuardrailResultClass>(
    {.name = "IfcGuardrailResult", .doc = "Structured guardrail results captured during adjudication.", .repr = &repr_impl},
    pos<arg::Text>("label", &IfcGuardrailResult::label),
    kw<OptText>("fallback_reason", &IfcGuardrailResult::fallback_reason, "None"),
    kw<arg::Opt<arg::Bool>>("available", &IfcGuardrailResult::available, "None")
        .doc("`None` on records written before availability was reported."),
    kw<OptText>("explanation", &IfcGuardrailResult::explanation, "None"));

}  // namespace

template <>
const ClassDef& IfcGuardrailResultClass::def() {
  return data_class<kIfcGuardrailResult>();
}

}  // namespace revizer::python
