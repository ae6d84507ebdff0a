#pragma once

// The enumerations of scan analysis. Their JSON names are the lower-case
// value texts themselves.

#include <array>
#include <cstdint>

#include "model/json/enum_codec.h"

namespace revizer::result {

enum class SignalFocus : std::uint8_t { Environment, Agent, Governance };

enum class SignalCategory : std::uint8_t {
  InputIssues,
  InfrastructureFailure,
  TaskDesign,
  StaticKnowledge,
  LowLevelIncoherence,
  HighLevelIncoherence,
  SelfCorrection,
  RefusalBehaviour,
  ToolMisuse,
  EvaluationAwareness,
  PolicyViolation,
  PrivilegeEscalation,
  DataExfiltration,
  DestructiveOperation,
  CredentialExposure,
};

enum class SignalSeverity : std::uint8_t { Info, Low, Medium, High, Critical };

enum class MessageType : std::uint8_t { ToolCall, ToolResult, UserInput, Reasoning, Lifecycle, Adjudication, StateCapture };

enum class AgentIntent : std::uint8_t { Investigate, Plan, Implement, Verify, Debug, Communicate, Lifecycle, Govern };

enum class TranscriptOutcome : std::uint8_t { Success, Partial, Failure, Interrupted, InProgress };

}  // namespace revizer::result

template <>
struct revizer::json::EnumTable<revizer::result::SignalFocus> {
  static constexpr std::array<EnumRow, 3> rows{{{"environment", "ENVIRONMENT", "environment"},
                                                {"agent", "AGENT", "agent"},
                                                {"governance", "GOVERNANCE", "governance"}}};
};

template <>
struct revizer::json::EnumTable<revizer::result::SignalCategory> {
  static constexpr std::array<EnumRow, 15> rows{{
      {"input_issues", "INPUT_ISSUES", "input_issues"},
      {"infrastructure_failure", "INFRASTRUCTURE_FAILURE", "infrastructure_failure"},
      {"task_design", "TASK_DESIGN", "task_design"},
      {"static_knowledge", "STATIC_KNOWLEDGE", "static_knowledge"},
      {"low_level_incoherence", "LOW_LEVEL_INCOHERENCE", "low_level_incoherence"},
      {"high_level_incoherence", "HIGH_LEVEL_INCOHERENCE", "high_level_incoherence"},
      {"self_correction", "SELF_CORRECTION", "self_correction"},
      {"refusal_behaviour", "REFUSAL_BEHAVIOUR", "refusal_behaviour"},
      {"tool_misuse", "TOOL_MISUSE", "tool_misuse"},
      {"evaluation_awareness", "EVALUATION_AWARENESS", "evaluation_awareness"},
      {"policy_violation", "POLICY_VIOLATION", "policy_violation"},
      {"privilege_escalation", "PRIVILEGE_ESCALATION", "privilege_escalation"},
      {"data_exfiltration", "DATA_EXFILTRATION", "data_exfiltration"},
      {"destructive_operation", "DESTRUCTIVE_OPERATION", "destructive_operation"},
      {"credential_exposure", "CREDENTIAL_EXPOSURE", "credential_exposure"},
  }};
};

template <>
struct revizer::json::EnumTable<revizer::result::SignalSeverity> {
  static constexpr std::array<EnumRow, 5> rows{{{"info", "INFO", "info"},
                                                {"low", "LOW", "low"},
                                                {"medium", "MEDIUM", "medium"},
                                                {"high", "HIGH", "high"},
                                                {"critical", "CRITICAL", "critical"}}};
};

template <>
struct revizer::json::EnumTable<revizer::result::MessageType> {
  static constexpr std::array<EnumRow, 7> rows{{{"tool_call", "TOOL_CALL", "tool_call"},
                                                {"tool_result", "TOOL_RESULT", "tool_result"},
                                                {"user_input", "USER_INPUT", "user_input"},
                                                {"reasoning", "REASONING", "reasoning"},
                                                {"lifecycle", "LIFECYCLE", "lifecycle"},
                                                {"adjudication", "ADJUDICATION", "adjudication"},
                                                {"state_capture", "STATE_CAPTURE", "state_capture"}}};
};

template <>
struct revizer::json::EnumTable<revizer::result::AgentIntent> {
  static constexpr std::array<EnumRow, 8> rows{{{"investigate", "INVESTIGATE", "investigate"},
                                                {"plan", "PLAN", "plan"},
                                                {"implement", "IMPLEMENT", "implement"},
                                                {"verify", "VERIFY", "verify"},
                                                {"debug", "DEBUG", "debug"},
                                                {"communicate", "COMMUNICATE", "communicate"},
                                                {"lifecycle", "LIFECYCLE", "lifecycle"},
                                                {"govern", "GOVERN", "govern"}}};
};

template <>
struct revizer::json::EnumTable<revizer::result::TranscriptOutcome> {
  static constexpr std::array<EnumRow, 5> rows{{{"success", "SUCCESS", "success"},
                                                {"partial", "PARTIAL", "partial"},
                                                {"failure", "FAILURE", "failure"},
                                                {"interrupted", "INTERRUPTED", "interrupted"},
                                                {"in_progress", "IN_PROGRESS", "in_progress"}}};
};
