// Steering: "LLM-generated steering instructions (populated only in Steer
// mode on deny)."
#include "python/src/classes/data_class.h"
#include "python/src/classes/result_classes.h"
#include "text/graphemes.h"

namespace revizer::python {
namespace {

using result::Steering;

// Steering(instructions=2, explanation="Use a dry run first"), the
// explanation cut after 50 grapheme clusters.
PyObject* repr_impl(const Steering& steering) {
  return ReprText("Steering")
      .count("instructions", steering.instructions.size())
      .quoted("explanation", unicode::truncate_graphemes(steering.explanation, 50))
      .finish();
}

constexpr auto kSteering = describe<SteeringClass>(
    {.name = "Steering",
     .doc = "LLM-generated steering instructions (populated only in Steer mode on deny).",
     .repr = &repr_impl},
    kw<arg::OptList<arg::Text>>("instructions", &Steering::instructions, "None"),
    kw<arg::NoneDefaulted<arg::Text>>("explanation", &Steering::explanation, "None"));

}  // namespace

template <>
const ClassDef& SteeringClass::def() {
  return data_class<kSteering>();
}

}  // namespace revizer::python
