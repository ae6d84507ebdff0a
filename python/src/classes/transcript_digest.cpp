// TranscriptDigest and TranscriptPhase: the hierarchical summary of a whole
// transcript and its work phases.
#include "python/src/classes/data_class.h"
#include "python/src/classes/scan_classes.h"

namespace revizer::python {
namespace {

using result::TranscriptDigest;
using result::TranscriptPhase;

// TranscriptDigest(title="Fix the build", total_events=42)
PyObject* digest_repr(const TranscriptDigest& digest) {
  return ReprText("TranscriptDigest").quoted("title", digest.title).integer("total_events", digest.total_events).finish();
}

// TranscriptPhase(name="setup", events=3)
PyObject* phase_repr(const TranscriptPhase& phase) {
  return ReprText("TranscriptPhase").quoted("name", phase.name).count("events", phase.event_indices.size()).finish();
}

constexpr auto kTranscriptDigest = describe<TranscriptDigestClass>(
    {.name = "TranscriptDigest", .doc = "Hierarchical summary of an entire trajectory transcript.", .repr = &digest_repr},
    pos<arg::Text>("trajectory_id", &TranscriptDigest::trajectory_id),
    pos<arg::Text>("title", &TranscriptDigest::title),
    pos<arg::Text>("summary", &TranscriptDigest::summary),
    prop("interim", &TranscriptDigest::interim),
    pos<arg::U32>("total_events", &TranscriptDigest::total_events),
    pos<arg::U32>("side_effecting_count", &TranscriptDigest::side_effecting_count),
    kw<arg::List<arg::Record<TranscriptPhaseClass>>>("phases", &TranscriptDigest::phases, "..."),
    kw<arg::List<arg::Text>>("files_modified", &TranscriptDigest::files_modified, "..."),
    kw<arg::List<arg::Text>>("tools_used", &TranscriptDigest::tools_used, "..."),
    kw<arg::Defaulted<arg::Bool>>("interim", &TranscriptDigest::interim, "False"),
    prop("total_events", &TranscriptDigest::total_events),
    prop("side_effecting_count", &TranscriptDigest::side_effecting_count));

constexpr auto kTranscriptPhase = describe<TranscriptPhaseClass>(
    {.name = "TranscriptPhase", .doc = "A logical work phase within a trajectory transcript.", .repr = &phase_repr},
    pos<arg::Text>("name", &TranscriptPhase::name),
    pos<arg::Text>("description", &TranscriptPhase::description),
    kw<arg::List<arg::U32>>("event_indices", &TranscriptPhase::event_indices, "..."));

}  // namespace

template <>
const ClassDef& TranscriptDigestClass::def() {
  return data_class<kTranscriptDigest>();
}

template <>
const ClassDef& TranscriptPhaseClass::def() {
  return data_class<kTranscriptPhase>();
}

}  // namespace revizer::python
