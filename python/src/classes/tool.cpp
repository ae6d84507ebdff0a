// Tool: "A tool exposed by an agent."
#include "python/src/classes/tool_classes.h"
#include "python/src/convert/compare.h"
#include "python/src/convert/dict_conversion.h"
#include "python/src/convert/py_values.h"
#include "python/src/convert/repr_format.h"

namespace revizer::python {
namespace {

using agent::Tool;

constexpr auto kNew = signature(
    "Tool", "__new__",
    "Tool(name, description, parameters, *, id=None, parameters_json_schema=None, response=None, "
    "response_json_schema=None, source=None)\n--\n\nA tool exposed by an agent.",
    pos("name"), pos("description"), pos("parameters"), kwopt("id"), kwopt("parameters_json_schema"),
    kwopt("response"), kwopt("response_json_schema"), kwopt("source"));
constexpr auto kFromDict = signature("Tool", "from_dict", "from_dict(data)\n--\n\n", pos("data"));

using OptText = arg::Opt<arg::Text>;

// Tool(name="search", parameters=2)
PyObject* repr_impl(const Tool& tool) {
  std::string out = "Tool(name=";
  repr::append_quoted(out, tool.name);
  out += ", parameters=";
  repr::append_count(out, tool.parameters.size());
  out += ')';
  return py_text(out);
}

PyObject* parameters(const Tool& tool) { return py_record_list<ParameterClass>(tool.parameters); }
PyObject* source(const Tool& tool) { return py_optional_record<SourceCodeClass>(tool.source); }

}  // namespace

const ClassDef& ToolClass::def() {
  static const PyType_Slot slots[] = {
      record_constructor_slot<ToolClass, kNew, Field<&Tool::name, arg::Text>, Field<&Tool::description, arg::Text>,
                              Field<&Tool::parameters, arg::RequiredList<arg::Record<ParameterClass>>>,
                              Field<&Tool::id, OptText>, Field<&Tool::parameters_json_schema, OptText>,
                              Field<&Tool::response, OptText>, Field<&Tool::response_json_schema, OptText>,
                              Field<&Tool::source, arg::Opt<arg::Record<SourceCodeClass>>>>(),
      repr_slot<ToolClass, &repr_impl>(),
      richcompare_slot<ToolClass, &compare_records<ToolClass>>(),
  };
  static PyMethodDef methods[] = {
      method<ToolClass, &record_to_dict<ToolClass>>("to_dict", "to_dict($self)\n--\n\n"),
      static_method<kFromDict, &record_from_dict<ToolClass>, arg::Object>(),
      {},
  };
  static PyGetSetDef properties[] = {
      text_member<ToolClass, &Tool::id>("id"),
      text_member<ToolClass, &Tool::name>("name"),
      text_member<ToolClass, &Tool::description>("description"),
      property<ToolClass, &parameters>("parameters"),
      text_member<ToolClass, &Tool::parameters_json_schema>("parameters_json_schema"),
      text_member<ToolClass, &Tool::response>("response"),
      text_member<ToolClass, &Tool::response_json_schema>("response_json_schema"),
      property<ToolClass, &source>("source"),
      {},
  };
  static const ClassDef def{"Tool", kNew.doc, sizeof(Instance<ToolClass>), &release_object<ToolClass>,
                            slots, methods, properties, {}};
  return def;
}

}  // namespace revizer::python
