// Parameter: "A tool parameter definition."
#include "python/src/classes/data_class.h"
#include "python/src/classes/tool_classes.h"

namespace revizer::python {
namespace {

using agent::Parameter;

// Parameter(name="x", type="string")
PyObject* repr_impl(const Parameter& parameter) {
  return ReprText("Parameter").quoted("name", parameter.name).quoted("type", parameter.param_type).finish();
}

constexpr auto kParameter = describe<ParameterClass>(
    {.name = "Parameter", .doc = "A tool parameter definition.", .repr = &repr_impl},
    pos<arg::Text>("name", &Parameter::name),
    pos<arg::Text>("description", &Parameter::description),
    pos<arg::Text>("param_type", &Parameter::param_type));

}  // namespace

template <>
const ClassDef& ParameterClass::def() {
  return data_class<kParameter>();
}

}  // namespace revizer::python
