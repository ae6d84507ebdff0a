// Tool: "A tool exposed by an agent."
#include "python/src/classes/tool_classes.h"
#include "python/src/convert/compare.h"
#include "python/src/convert/dict_conversion.h"
#include "python/src/convert/fast_constructor.h"
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
using NewArgs = Converters<arg::Text, arg::Text, arg::RequiredList<arg::Record<ParameterClass>>, OptText, OptText,
                           OptText, OptText, arg::Opt<arg::Record<SourceCodeClass>>>;

PyObject* new_impl(PyTypeObject* type, std::string name, std::string description,
                   std::vector<agent::Parameter> parameters, std::optional<std::string> id,
                   std::optional<std::string> parameters_json_schema, std::optional<std::string> response,
                   std::optional<std::string> response_json_schema, std::optional<agent::SourceCode> source) {
  return create_object_of_type<ToolClass>(
      type, {std::move(id), std::move(name), std::move(description), std::move(parameters),
             std::move(parameters_json_schema), std::move(response), std::move(response_json_schema),
             std::move(source)});
}

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
      constructor_slot_for<ToolClass, kNew, &new_impl>(NewArgs{}),
      vectorcall_constructor_slot_for<ToolClass, kNew, &new_impl>(NewArgs{}),
      repr_slot<ToolClass, &repr_impl>(),
      richcompare_slot<ToolClass, &compare_records<ToolClass>>(),
  };
  static PyMethodDef methods[] = {
      method<ToolClass, &record_to_dict<ToolClass>>("to_dict", "to_dict($self)\n--\n\n"),
      static_method<kFromDict, &record_from_dict<ToolClass>, arg::Object>(),
      {},
  };
  static PyGetSetDef properties[] = {
      property<ToolClass, &optional_text_property<&Tool::id>>("id"),
      property<ToolClass, &text_property<&Tool::name>>("name"),
      property<ToolClass, &text_property<&Tool::description>>("description"),
      property<ToolClass, &parameters>("parameters"),
      property<ToolClass, &optional_text_property<&Tool::parameters_json_schema>>("parameters_json_schema"),
      property<ToolClass, &optional_text_property<&Tool::response>>("response"),
      property<ToolClass, &optional_text_property<&Tool::response_json_schema>>("response_json_schema"),
      property<ToolClass, &source>("source"),
      {},
  };
  static const ClassDef def{"Tool", kNew.doc, sizeof(Instance<ToolClass>), &release_object<ToolClass>,
                            slots, methods, properties, {}};
  return def;
}

}  // namespace revizer::python
