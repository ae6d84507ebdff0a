#pragma once

// What the guardrails reported during one adjudication: the container and
// the results of the signature, information-flow (IFC) and semantic
// guardrails. Plain data from the service; no field constrains another (a
// signature result that did not trigger may still carry matches). JSON forms
// in guardrails_record.h.

#include <optional>
#include <string>
#include <vector>

#include "model/json/keyed_hash.h"

namespace revizer::result {

// One matched YARA signature rule.
struct SignatureGuardrailMatch {
  std::string rule;
  std::optional<std::string> namespace_;  // JSON key "namespace"
  json::HashMap<std::string> metadata;

  friend bool operator==(const SignatureGuardrailMatch&, const SignatureGuardrailMatch&) = default;
};

// "Structured results from signature-based guardrail scanning."
struct SignatureGuardrailResult {
  bool triggered = false;
  std::optional<std::string> severity;  // free text, not an enumeration
  std::vector<std::string> categories;
  std::vector<SignatureGuardrailMatch> matches;

  friend bool operator==(const SignatureGuardrailResult&, const SignatureGuardrailResult&) = default;
};

// The result of the information-flow guardrail.
struct IfcGuardrailResult {
  std::string label;
  std::optional<std::string> fallback_reason;
  // Absent on records written before availability was reported.
  std::optional<bool> available;
  std::optional<std::string> explanation;

  friend bool operator==(const IfcGuardrailResult&, const IfcGuardrailResult&) = default;
};

// "A persisted finding selected by one semantic rubric."
struct SemanticGuardrailFinding {
  std::string rubric_id;
  std::string category;
  std::optional<std::string> explanation;

  friend bool operator==(const SemanticGuardrailFinding&, const SemanticGuardrailFinding&) = default;
};

// "Structured result from decision-time semantic analysis."
struct SemanticGuardrailResult {
  std::vector<std::string> categories;
  bool available = false;
  std::vector<SemanticGuardrailFinding> findings;
  std::vector<std::string> unavailable_rubrics;

  friend bool operator==(const SemanticGuardrailResult&, const SemanticGuardrailResult&) = default;
};

// "Structured guardrail results captured during adjudication." A container
// with no part differs from no container at all.
struct GuardrailResults {
  std::optional<SignatureGuardrailResult> signature;
  std::optional<IfcGuardrailResult> ifc;
  std::optional<SemanticGuardrailResult> semantic;

  friend bool operator==(const GuardrailResults&, const GuardrailResults&) = default;
};

}  // namespace revizer::result
