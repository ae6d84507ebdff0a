#pragma once

// Enumerations of scan analysis.

#include "model/result/scan_enums.h"
#include "python/src/enums/enum_members.h"

namespace revizer::python {

inline constexpr EnumDef kSignalFocusDef{
    "SignalFocus", "SignalFocus(value)\n--\n\nWhether a signal relates to the environment, the agent, or governance.",
    kMembersOf<result::SignalFocus>, "Invalid SignalFocus: '%U'. Must be 'environment', 'agent', or 'governance'", false};
using SignalFocus = EnumClass<kSignalFocusDef>;

// The only enumeration that also accepts hyphens ("tool-misuse").
inline constexpr EnumDef kSignalCategoryDef{
    "SignalCategory", "SignalCategory(value)\n--\n\nSignal category taxonomy from the AISI Tables 2-3.",
    kMembersOf<result::SignalCategory>, "Invalid SignalCategory: '%U'", true};
using SignalCategory = EnumClass<kSignalCategoryDef>;

inline constexpr EnumDef kSignalSeverityDef{
    "SignalSeverity", "SignalSeverity(value)\n--\n\nSeverity of a detected signal.", kMembersOf<result::SignalSeverity>,
    "Invalid SignalSeverity: '%U'. Must be 'info', 'low', 'medium', 'high', or 'critical'", false};
using SignalSeverity = EnumClass<kSignalSeverityDef>;

inline constexpr EnumDef kMessageTypeDef{
    "MessageType", "MessageType(value)\n--\n\nStructural message type of a trajectory event.", kMembersOf<result::MessageType>,
    "Invalid MessageType: '%U'", false};
using MessageType = EnumClass<kMessageTypeDef>;

inline constexpr EnumDef kAgentIntentDef{
    "AgentIntent", "AgentIntent(value)\n--\n\nInferred intent or purpose of a trajectory event.",
    kMembersOf<result::AgentIntent>, "Invalid AgentIntent: '%U'", false};
using AgentIntent = EnumClass<kAgentIntentDef>;

inline constexpr EnumDef kTranscriptOutcomeDef{
    "TranscriptOutcome", "TranscriptOutcome(value)\n--\n\nOutcome assessment of a trajectory transcript.",
    kMembersOf<result::TranscriptOutcome>, "Invalid TranscriptOutcome: '%U'", false};
using TranscriptOutcome = EnumClass<kTranscriptOutcomeDef>;

}  // namespace revizer::python
