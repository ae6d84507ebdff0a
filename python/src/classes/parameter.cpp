// Parameter: "A tool parameter definition."
#include "python/src/classes/tool_classes.h"
#include "python/src/convert/compare.h"
#include "python/src/convert/dict_conversion.h"
#include "python/src/convert/py_values.h"
#include "python/src/convert/repr_format.h"

namespace revizer::python {
namespace {

using agent::Parameter;

constexpr auto kNew = signature("Parameter", "__new__",
                                "Parameter(name, description, param_type)\n--\n\nA tool parameter definition.",
                                pos("name"), pos("description"), pos("param_type"));
constexpr auto kFromDict = signature("Parameter", "from_dict", "from_dict(data)\n--\n\n", pos("data"));

// Parameter(name="x", type="string")
PyObject* repr_impl(const Parameter& parameter) {
  std::string out = "Parameter(name=";
  repr::append_quoted(out, parameter.name);
  out += ", type=";
  repr::append_quoted(out, parameter.param_type);
  out += ')';
  return py_text(out);
}

}  // namespace

const ClassDef& ParameterClass::def() {
  static const PyType_Slot slots[] = {
      record_constructor_slot<ParameterClass, kNew, Field<&Parameter::name, arg::Text>,
                              Field<&Parameter::description, arg::Text>, Field<&Parameter::param_type, arg::Text>>(),
      repr_slot<ParameterClass, &repr_impl>(),
      richcompare_slot<ParameterClass, &compare_records<ParameterClass>>(),
  };
  static PyMethodDef methods[] = {
      method<ParameterClass, &record_to_dict<ParameterClass>>("to_dict", "to_dict($self)\n--\n\n"),
      static_method<kFromDict, &record_from_dict<ParameterClass>, arg::Object>(),
      {},
  };
  static PyGetSetDef properties[] = {
      text_member<ParameterClass, &Parameter::name>("name"),
      text_member<ParameterClass, &Parameter::description>("description"),
      text_member<ParameterClass, &Parameter::param_type>("param_type"),
      {},
  };
  static const ClassDef def{"Parameter", kNew.doc, sizeof(Instance<ParameterClass>), &release_object<ParameterClass>,
                            slots, methods, properties, {}};
  return def;
}

}  // namespace revizer::python
