#pragma once

// The JSON descriptions of the guardrail results.

#include "model/json/record.h"
#include "model/result/guardrails.h"

namespace revizer::result {

namespace record {

using namespace json::describe;

inline constexpr json::Record kSignatureGuardrailMatch{
    "struct SignatureGuardrailMatch",
    field<Always, Required>("rule", &SignatureGuardrailMatch::rule),
    field<WhenPresent, Optional>("namespace", &SignatureGuardrailMatch::namespace_),
    field<WhenNonEmpty, Default>("metadata", &SignatureGuardrailMatch::metadata)};

inline constexpr json::Record kSignatureGuardrailResult{
    "struct SignatureGuardrailResult",
    field<Always, Required>("triggered", &SignatureGuardrailResult::triggered),
    field<WhenPresent, Optional>("severity", &SignatureGuardrailResult::severity),
    field<WhenNonEmpty, Default>("categories", &SignatureGuardrailResult::categories),
    field<WhenNonEmpty, Default>("matches", &SignatureGuardrailResult::matches)};

inline constexpr json::Record kIfcGuardrailResult{
    "struct IfcGuardrailResult",
    field<Always, Required>("label", &IfcGuardrailResult::label),
    field<WhenPresent, Optional>("fallback_reason", &IfcGuardrailResult::fallback_reason),
    field<WhenPresent, Optional>("available", &IfcGuardrailResult::available),
    field<WhenPresent, Optional>("explanation", &IfcGuardrailResult::explanation)};

inline constexpr json::Record kSemanticGuardrailFinding{
    "struct SemanticGuardrailFinding",
    field<Always, Required>("rubric_id", &SemanticGuardrailFinding::rubric_id),
    field<Always, Required>("category", &SemanticGuardrailFinding::category),
    field<WhenPresent, Optional>("explanation", &SemanticGuardrailFinding::explanation)};

inline constexpr json::Record kSemanticGuardrailResult{
    "struct SemanticGuardrailResult",
    field<WhenNonEmpty, Default>("categories", &SemanticGuardrailResult::categories),
    field<Always, Required>("available", &SemanticGuardrailResult::available),
    field<WhenNonEmpty, Default>("findings", &SemanticGuardrailResult::findings),
    field<WhenNonEmpty, Default>("unavailable_rubrics", &SemanticGuardrailResult::unavailable_rubrics)};

inline constexpr json::Record kGuardrailResults{
    "struct GuardrailResults",
    field<WhenPresent, Optional>("signature", &GuardrailResults::signature),
    field<WhenPresent, Optional>("ifc", &GuardrailResults::ifc),
    field<WhenPresent, Optional>("semantic", &GuardrailResults::semantic)};

}  // namespace record

constexpr const auto& json_record(const SignatureGuardrailMatch*) { return record::kSignatureGuardrailMatch; }
constexpr const auto& json_record(const SignatureGuardrailResult*) { return record::kSignatureGuardrailResult; }
constexpr const auto& json_record(const IfcGuardrailResult*) { return record::kIfcGuardrailResult; }
constexpr const auto& json_record(const SemanticGuardrailFinding*) { return record::kSemanticGuardrailFinding; }
constexpr const auto& json_record(const SemanticGuardrailResult*) { return record::kSemanticGuardrailResult; }
constexpr const auto& json_record(const GuardrailResults*) { return record::kGuardrailResults; }

}  // namespace revizer::result
