// Started, Completed, Failed, Terminated, Suspended and Resumed: the life of
// an agent run. Texts are shown whole in the reprs.
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"
#include "python/src/classes/event_classes.h"

namespace revizer::python {
namespace {

using event::Completed;
using event::Started;
using event::Failed;
using event::Resumed;
using event::Suspended;
using event::Terminated;

// Started(agent_id="a1"): the task is not shown.
PyObject* started_repr(const Started& started) {
  return ReprText("Started").quoted("agent_id", started.agent.id).finish();
}

// Its dict form drops inline asset content from the agent's card.
constexpr auto kStarted = describe<StartedClass>(
    {.name = "Started", .doc = "Agent started.", .repr = &started_repr, .strip_asset_content = true},
    pos<arg::Record<AgentClass>>("agent", &Started::agent),
    kw<arg::Opt<arg::Text>>("task", &Started::task, "None"));

// Completed(summary="...") or Completed() without one.
PyObject* completed_repr(const Completed& completed) {
  ReprText repr("Completed");
  if (completed.summary) repr.quoted("summary", *completed.summary);
  return repr.finish();
}

constexpr auto kCompleted = describe<CompletedClass>(
    {.name = "Completed", .doc = "Agent completed successfully.", .repr = &completed_repr},
    kw<arg::Opt<arg::Text>>("summary", &Completed::summary, "None"));

PyObject* failed_repr(const Failed& failed) { return ReprText("Failed").quoted("reason", failed.reason).finish(); }

constexpr auto kFailed = describe<FailedClass>({.name = "Failed", .doc = "Agent failed.", .repr = &failed_repr},
                                               pos<arg::Text>("reason", &Failed::reason));

PyObject* terminated_repr(const Terminated& terminated) {
  return ReprText("Terminated")
      .quoted("reason", terminated.reason)
      .quoted("terminated_by", terminated.terminated_by)
      .finish();
}

constexpr auto kTerminated = describe<TerminatedClass>(
    {.name = "Terminated", .doc = "Agent terminated externally.", .repr = &terminated_repr},
    pos<arg::Text>("reason", &Terminated::reason),
    pos<arg::Text>("terminated_by", &Terminated::terminated_by));

PyObject* suspended_repr(const Suspended& suspended) {
  return ReprText("Suspended").quoted("reason", suspended.reason).finish();
}

constexpr auto kSuspended = describe<SuspendedClass>(
    {.name = "Suspended", .doc = "Agent suspended.", .repr = &suspended_repr},
    pos<arg::Text>("reason", &Suspended::reason));

PyObject* resumed_repr(const Resumed& resumed) {
  return ReprText("Resumed").quoted("resumed_by", resumed.resumed_by).finish();
}

constexpr auto kResumed = describe<ResumedClass>({.name = "Resumed", .doc = "Agent resumed.", .repr = &resumed_repr},
                                                 pos<arg::Text>("resumed_by", &Resumed::resumed_by));

}  // namespace

template <>
const ClassDef& StartedClass::def() {
  return data_class<kStarted>();
}
template <>
const ClassDef& CompletedClass::def() {
  return data_class<kCompleted>();
}
template <>
const ClassDef& FailedClass::def() {
  return data_class<kFailed>();
}
template <>
const ClassDef& TerminatedClass::def() {
  return data_class<kTerminated>();
}
template <>
const ClassDef& SuspendedClass::def() {
  return data_class<kSuspended>();
}
template <>
const ClassDef& ResumedClass::def() {
  return data_class<kResumed>();
}

}  // namespace revizer::python
