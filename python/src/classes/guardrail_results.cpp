// GuardrailResults: "Structured guardrail results captured during
// adjudication."
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"

namespace revizer::python {
namespace {

using result::GuardrailResults;

// GuardrailResults(has_signature=false, has_ifc=true, has_semantic=false)
PyObject* repr_impl(const GuardrailResults& results) {
  return ReprText("GuardrailResults")
      .boolean("has_signature", results.signature.has_value())
      .boolean("has_ifc", results.ifc.has_value())
      .boolean("has_semantic", results.semantic.has_value())
      .finish();
}

constexpr auto kGuardrailResults = describe<GuardrailResultsClass>(
    {.name = "GuardrailResults", .doc = "Structured guardrail results captured during adjudication.", .repr = &repr_impl},
    kw<arg::Opt<arg::Record<SignatureGuardrailResultClass>>>("signature", &GuardrailResults::signature, "None"),
    kw<arg::Opt<arg::Record<IfcGuardrailResultClass>>>("ifc", &GuardrailResults::ifc, "None"),
    kw<arg::Opt<arg::Record<SemanticGuardrailResultClass>>>("semantic", &GuardrailResults::semantic, "None"));

}  // namespace

template <>
const ClassDef& GuardrailResultsClass::def() {
  return data_class<kGuardrailResults>();
}

}  // namespace revizer::python
