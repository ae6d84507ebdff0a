#pragma once

// Enumerations of scan analysis.

#include "python/src/binding/enum_class.h"

namespace revizer::python {

inline constexpr EnumMember kSignalFocusMembers[] = {
    {"ENVIRONMENT", "environment"}, {"AGENT", "agent"}, {"GOVERNANCE", "governance"}};
inline constexpr EnumDef kSignalFocusDef{
    "SignalFocus", "SignalFocus(value)\n--\n\nWhether a signal relates to the environment, the agent, or governance.",
    kSignalFocusMembers, "Invalid SignalFocus: '%U'. Must be 'environment', 'agent', or 'governance'", false};
using SignalFocus = EnumClass<kSignalFocusDef>;

inline constexpr EnumMember kSignalCategoryMembers[] = {
    {"INPUT_ISSUES", "input_issues"},
    {"INFRASTRUCTURE_FAILURE", "infrastructure_failure"},
    {"TASK_DESIGN", "task_design"},
    {"STATIC_KNOWLEDGE", "static_knowledge"},
    {"LOW_LEVEL_INCOHERENCE", "low_level_incoherence"},
    {"HIGH_LEVEL_INCOHERENCE", "high_level_incoherence"},
    {"SELF_CORRECTION", "self_correction"},
    {"REFUSAL_BEHAVIOUR", "refusal_behaviour"},
    {"TOOL_MISUSE", "tool_misuse"},
    {"EVALUATION_AWARENESS", "evaluation_awareness"},
    {"POLICY_VIOLATION", "policy_violation"},
    {"PRIVILEGE_ESCALATION", "privilege_escalation"},
    {"DATA_EXFILTRATION", "data_exfiltration"},
    {"DESTRUCTIVE_OPERATION", "destructive_operation"},
    {"CREDENTIAL_EXPOSURE", "credential_exposure"},
};
// The only enumeration that also accepts hyphens ("tool-misuse").
inline constexpr EnumDef kSignalCategoryDef{
    "SignalCategory", "SignalCategory(value)\n--\n\nSignal category taxonomy from the AISI Tables 2-3.",
    kSignalCategoryMembers, "Invalid SignalCategory: '%U'", true};
using SignalCategory = EnumClass<kSignalCategoryDef>;

inline constexpr EnumMember kSignalSeverityMembers[] = {
    {"INFO", "info"}, {"LOW", "low"}, {"MEDIUM", "medium"}, {"HIGH", "high"}, {"CRITICAL", "critical"}};
inline constexpr EnumDef kSignalSeverityDef{
    "SignalSeverity", "SignalSeverity(value)\n--\n\nSeverity of a detected signal.", kSignalSeverityMembers,
    "Invalid SignalSeverity: '%U'. Must be 'info', 'low', 'medium', 'high', or 'critical'", false};
using SignalSeverity = EnumClass<kSignalSeverityDef>;

inline constexpr EnumMember kMessageTypeMembers[] = {
    {"TOOL_CALL", "tool_call"}, {"TOOL_RESULT", "tool_result"},   {"USER_INPUT", "user_input"},
    {"REASONING", "reasoning"}, {"LIFECYCLE", "lifecycle"},       {"ADJUDICATION", "adjudication"},
    {"STATE_CAPTURE", "state_capture"}};
inline constexpr EnumDef kMessageTypeDef{
    "MessageType", "MessageType(value)\n--\n\nStructural message type of a trajectory event.", kMessageTypeMembers,
    "Invalid MessageType: '%U'", false};
using MessageType = EnumClass<kMessageTypeDef>;

inline constexpr EnumMember kAgentIntentMembers[] = {
    {"INVESTIGATE", "investigate"}, {"PLAN", "plan"},           {"IMPLEMENT", "implement"},
    {"VERIFY", "verify"},           {"DEBUG", "debug"},         {"COMMUNICATE", "communicate"},
    {"LIFECYCLE", "lifecycle"},     {"GOVERN", "govern"}};
inline constexpr EnumDef kAgentIntentDef{
    "AgentIntent", "AgentIntent(value)\n--\n\nInferred intent or purpose of a trajectory event.",
    kAgentIntentMembers, "Invalid AgentIntent: '%U'", false};
using AgentIntent = EnumClass<kAgentIntentDef>;

inline constexpr EnumMember kTranscriptOutcomeMembers[] = {{"SUCCESS", "success"},
                                                           {"PARTIAL", "partial"},
                                                           {"FAILURE", "failure"},
                                                           {"INTERRUPTED", "interrupted"},
                                                           {"IN_PROGRESS", "in_progress"}};
inline constexpr EnumDef kTranscriptOutcomeDef{
    "TranscriptOutcome", "TranscriptOutcome(value)\n--\n\nOutcome assessment of a trajectory transcript.",
    kTranscriptOutcomeMembers, "Invalid TranscriptOutcome: '%U'", false};
using TranscriptOutcome = EnumClass<kTranscriptOutcomeDef>;

}  // namespace revizer::python
