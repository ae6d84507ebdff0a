// Actor, Causality and ExecutionAttribution: the context of an event.
#include "python/src/classes/data_class.h"
#include "python/src/classes/event_classes.h"
#include "python/src/convert/generated_id.h"
#include "python/src/enums/event_enums.h"

namespace revizer::python {
namespace {

using event::Actor;
using event::Causality;
using event::ExecutionAttribution;

// Actor(id="u", actor_type=ActorType.HUMAN)
PyObject* actor_repr(const Actor& actor) {
  return ReprText("Actor").quoted("id", actor.id).member("actor_type", actor.actor_type).finish();
}

constexpr auto kActor = describe<ActorClass>({.name = "Actor", .doc = "Who triggered the event.", .repr = &actor_repr},
                                             pos<arg::Text>("id", &Actor::id),
                                             pos<arg::Enum<ActorType>>("actor_type", &Actor::actor_type));

// Actor.human(id) and its three siblings.
template <event::ActorType Type>
PyObject* actor_of(std::string id) {
  return create_object<ActorClass>(Actor{std::move(id), Type});
}
constexpr auto kHuman = signature("Actor", "human", "human(id)\n--\n\nCreate a human actor.", pos("id"));
constexpr auto kAgent = signature("Actor", "agent", "agent(id)\n--\n\nCreate an agent actor.", pos("id"));
constexpr auto kSystem = signature("Actor", "system", "system(id)\n--\n\nCreate a system actor.", pos("id"));
constexpr auto kPolicy = signature("Actor", "policy", "policy(id)\n--\n\nCreate a policy actor.", pos("id"));

// Causality(correlation_id="corr-..."): the other ids are not shown.
PyObject* causality_repr(const Causality& causality) {
  return ReprText("Causality").quoted("correlation_id", causality.correlation_id).finish();
}

constexpr auto kCausality = describe<CausalityClass>(
    {.name = "Causality", .doc = "Event causation chain.", .repr = &causality_repr},
    kw<arg::GeneratedId<kCorrelationIdPrefix>>("correlation_id", &Causality::correlation_id, "None"),
    kw<arg::Opt<arg::Text>>("causation_id", &Causality::causation_id, "None"),
    kw<arg::Opt<arg::Text>>("parent_id", &Causality::parent_id, "None"));

// ExecutionAttribution(agent_name="a", agent_path=["p", "q"])
PyObject* execution_repr(const ExecutionAttribution& execution) {
  return ReprText("ExecutionAttribution")
      .quoted("agent_name", execution.agent_name)
      .texts("agent_path", execution.agent_path)
      .finish();
}

constexpr auto kExecutionAttribution = describe<ExecutionAttributionClass>(
    {.name = "ExecutionAttribution",
     .doc = "Observational identity of the child agent executing an event.",
     .repr = &execution_repr},
    kw<arg::Text>("agent_name", &ExecutionAttribution::agent_name),
    kw<arg::OptList<arg::Text>>("agent_path", &ExecutionAttribution::agent_path, "None"));

}  // namespace

template <>
const ClassDef& ActorClass::def() {
  return data_class<kActor>({.methods = {
                                 static_method<kHuman, &actor_of<event::ActorType::Human>, arg::Text>(),
                                 static_method<kAgent, &actor_of<event::ActorType::Agent>, arg::Text>(),
                                 static_method<kSystem, &actor_of<event::ActorType::System>, arg::Text>(),
                                 static_method<kPolicy, &actor_of<event::ActorType::Policy>, arg::Text>(),
                             }});
}

template <>
const ClassDef& CausalityClass::def() {
  return data_class<kCausality>();
}

template <>
const ClassDef& ExecutionAttributionClass::def() {
  return data_class<kExecutionAttribution>();
}

}  // namespace revizer::python
