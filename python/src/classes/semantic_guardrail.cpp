// SemanticGuardrailResult and SemanticGuardrailFinding: decision-time
// semantic analysis by rubrics.
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"

namespace revizer::python {
namespace {

using result::SemanticGuardrailFinding;
using result::SemanticGuardrailResult;

// SemanticGuardrailResult(categories=1, findings=3, unavailable_rubrics=0, available=true)
PyObject* result_repr(const SemanticGuardrailResult& result) {
  return ReprText("SemanticGuardrailResult")
      .count("categories", result.categories.size())
      .count("findings", result.findings.size())
      .count("unavailable_rubrics", result.unavailable_rubrics.size())
      .boolean("available", result.available)
      .finish();
}

// SemanticGuardrailFinding(rubric_id="r", category="c", has_explanation=false)
PyObject* finding_repr(const SemanticGuardrailFinding& finding) {
  return ReprText("SemanticGuardrailFinding")
      .quoted("rubric_id", finding.rubric_id)
      .quoted("category", finding.category)
      .boolean("has_explanation", finding.explanation.has_value())
      .finish();
}

// The constructor lets `available` default to false; the JSON form requires it.
constexpr auto kSemanticGuardrailResult = describe<SemanticGuardrailResultClass>(
    {.name = "SemanticGuardrailResult",
     .doc = "Structured result from decision-time semantic analysis.",
     .repr = &result_repr},
    kw<arg::OptList<arg::Text>>("categories", &SemanticGuardrailResult::categories, "None"),
    kw<arg::Defaulted<arg::Bool>>("available", &SemanticGuardrailResult::available, "False"),
    kw<arg::OptList<arg::Record<SemanticGuardrailFindingClass>>>("findings", &SemanticGuardrailResult::findings, "None"),
    kw<arg::OptList<arg::Text>>("unavailable_rubrics", &SemanticGuardrailResult::unavailable_rubrics, "None"));

constexpr auto kSemanticGuardrailFinding = describe<SemanticGuardrailFindingClass>(
    {.name = "SemanticGuardrailFinding",
     .doc = "A persisted finding selected by one semantic rubric.",
     .repr = &finding_repr},
    pos<arg::Text>("rubric_id", &SemanticGuardrailFinding::rubric_id),
    pos<arg::Text>("category", &SemanticGuardrailFinding::category),
    kw<arg::Opt<arg::Text>>("explanation", &SemanticGuardrailFinding::explanation, "None"));

}  // namespace

template <>
const ClassDef& SemanticGuardrailResultClass::def() {
  return data_class<kSemanticGuardrailResult>();
}

template <>
const ClassDef& SemanticGuardrailFindingClass::def() {
  return data_class<kSemanticGuardrailFinding>();
}

}  // namespace revizer::python
