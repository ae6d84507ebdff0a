#pragma once

// Enumerations of scan analysis.

#include "model/result/scan_enums.h"
#include "python/src/enums/enum_members.h"

namespace revizer::python {

template <>
struct EnumSpec<result::SignalFocus> {
  static constexpr EnumDef def{
    "SignalFocus", "SignalFocus(value)\n--\n\nWhether a signal relates to the environment, the agent, or governance.",
    kMembersOf<result::SignalFocus>, "Invalid SignalFocus: '%U'. Must be 'environment', 'agent', or 'governance'", false};
};
using SignalFocus = EnumClass<result::SignalFocus>;

// The only enumeration that also accepts hyphens ("tool-misuse").
template <>
struct EnumSpec<result::SignalCategory> {
  static constexpr EnumDef def{
    "SignalCategory", "SignalCategory(value)\n--\n\nSignal category taxonomy from the AISI Tables 2-3.",
    kMembersOf<result::SignalCategory>, "Invalid SignalCategory: '%U'", true};
};
using SignalCategory = EnumClass<result::SignalCategory>;

template <>
struct EnumSpec<result::SignalSeverity> {
  static constexpr EnumDef def{
    "SignalSeverity", "SignalSeverity(value)\n--\n\nSeverity of a detected signal.", kMembersOf<result::SignalSeverity>,
    "Invalid SignalSeverity: '%U'. Must be 'info', 'low', 'medium', 'high', or 'critical'", false};
};
using SignalSeverity = EnumClass<result::SignalSeverity>;

template <>
struct EnumSpec<result::MessageType> {
  static constexpr EnumDef def{
    "MessageType", "MessageType(value)\n--\n\nStructural message type of a trajectory event.", kMembersOf<result::MessageType>,
    "Invalid MessageType: '%U'", false};
};
using MessageType = EnumClass<result::MessageType>;

template <>
struct EnumSpec<result::AgentIntent> {
  static constexpr EnumDef def{
    "AgentIntent", "AgentIntent(value)\n--\n\nInferred intent or purpose of a trajectory event.",
    kMembersOf<result::AgentIntent>, "Invalid AgentIntent: '%U'", false};
};
using AgentIntent = EnumClass<result::AgentIntent>;

template <>
struct EnumSpec<result::TranscriptOutcome> {
  static constexpr EnumDef def{
    "TranscriptOutcome", "TranscriptOutcome(value)\n--\n\nOutcome assessment of a trajectory transcript.",
    kMembersOf<result::TranscriptOutcome>, "Invalid TranscriptOutcome: '%U'", false};
};
using TranscriptOutcome = EnumClass<result::TranscriptOutcome>;

}  // namespace revizer::python
