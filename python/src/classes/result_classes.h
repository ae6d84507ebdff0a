#pragma once

// The Python classes of an adjudication result and its parts, over the
// result model's records.

#include "model/result/adjudicated_record.h"
#include "python/src/binding/binding.h"

namespace revizer::python {

using PolicyMetadataClass = DataClass<result::PolicyMetadata>;
using PolicyProvenanceClass = DataClass<result::PolicyProvenance>;
using PolicySetProvenanceClass = DataClass<result::PolicySetProvenance>;
using SteeringClass = DataClass<result::Steering>;
using SignatureGuardrailMatchClass = DataClass<result::SignatureGuardrailMatch>;
using SignatureGuardrailResultClass = DataClass<result::SignatureGuardrailResult>;
using IfcGuardrailResultClass = DataClass<result::IfcGuardrailResult>;
using SemanticGuardrailFindingClass = DataClass<result::SemanticGuardrailFinding>;
using SemanticGuardrailResultClass = DataClass<result::SemanticGuardrailResult>;
using GuardrailResultsClass = DataClass<result::GuardrailResults>;
using AdjudicatedClass = DataClass<result::Adjudicated>;

template <>
const ClassDef& PolicyMetadataClass::def();
template <>
const ClassDef& PolicyProvenanceClass::def();
template <>
const ClassDef& PolicySetProvenanceClass::def();
template <>
const ClassDef& SteeringClass::def();
template <>
const ClassDef& SignatureGuardrailMatchClass::def();
template <>
const ClassDef& SignatureGuardrailResultClass::def();
template <>
const ClassDef& IfcGuardrailResultClass::def();
template <>
const ClassDef& SemanticGuardrailFindingClass::def();
template <>
const ClassDef& SemanticGuardrailResultClass::def();
template <>
const ClassDef& GuardrailResultsClass::def();
template <>
const ClassDef& AdjudicatedClass::def();

}  // namespace revizer::python
