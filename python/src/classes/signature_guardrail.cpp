// SignatureGuardrailResult and SignatureGuardrailMatch: signature-based
// (YARA rule) scanning.
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"

namespace revizer::python {
namespace {

using result::SignatureGuardrailMatch;
using result::SignatureGuardrailResult;

// SignatureGuardrailResult(triggered=true, matches=0)
PyObject* result_repr(const SignatureGuardrailResult& result) {
  return ReprText("SignatureGuardrailResult")
      .boolean("triggered", result.triggered)
      .count("matches", result.matches.size())
      .finish();
}

// SignatureGuardrailMatch(rule="r1", namespace=Some("ns"))
PyObject* match_repr(const SignatureGuardrailMatch& match) {
  return ReprText("SignatureGuardrailMatch")
      .quoted("rule", match.rule)
      .optional_text("namespace", match.namespace_)
      .finish();
}

constexpr auto kSignatureGuardrailResult = describe<SignatureGuardrailResultClass>(
    {.name = "SignatureGuardrailResult",
     .doc = "Structured results from signature-based guardrail scanning.",
     .repr = &result_repr},
    pos<arg::Bool>("triggered", &SignatureGuardrailResult::triggered),
    kw<arg::Opt<arg::Text>>("severity", &SignatureGuardrailResult::severity, "None"),
    kw<arg::OptList<arg::Text>>("categories", &SignatureGuardrailResult::categories, "None"),
    kw<arg::OptList<arg::Record<SignatureGuardrailMatchClass>>>("matches", &SignatureGuardrailResult::matches, "None"));

constexpr auto kSignatureGuardrailMatch = describe<SignatureGuardrailMatchClass>(
    {.name = "SignatureGuardrailMatch", .doc = "One matched YARA signature rule.", .repr = &match_repr},
    pos<arg::Text>("rule", &SignatureGuardrailMatch::rule),
    kw<arg::Opt<arg::Text>>("namespace", &SignatureGuardrailMatch::namespace_, "None"),
    kw<arg::NoneDefaulted<arg::StrMap>>("metadata", &SignatureGuardrailMatch::metadata, "None"));

}  // namespace

template <>
const ClassDef& SignatureGuardrailResultClass::def() {
  return data_class<kSignatureGuardrailResult>();
}

template <>
const ClassDef& SignatureGuardrailMatchClass::def() {
  return data_class<kSignatureGuardrailMatch>();
}

}  // namespace revizer::python
