// SourceCode: "Source code attached to a tool."
#include "python/src/classes/tool_classes.h"
#include "python/src/convert/compare.h"
#include "python/src/convert/dict_conversion.h"
#include "python/src/convert/py_values.h"
#include "python/src/convert/repr_format.h"

namespace revizer::python {
namespace {

using agent::SourceCode;

constexpr auto kNew = signature("SourceCode", "__new__",
                                "SourceCode(language, code)\n--\n\nSource code attached to a tool.", pos("language"),
                                pos("code"));
constexpr auto kFromDict = signature("SourceCode", "from_dict", "from_dict(data)\n--\n\n", pos("data"));

// SourceCode(language="sh"): the code is not shown.
PyObject* repr_impl(const SourceCode& source) {
  std::string out = "SourceCode(language=";
  repr::append_quoted(out, source.language);
  out += ')';
  return py_text(out);
}

}  // namespace

const ClassDef& SourceCodeClass::def() {
  static const PyType_Slot slots[] = {
      record_constructor_slot<SourceCodeClass, kNew, Field<&SourceCode::language, arg::Text>,
                              Field<&SourceCode::code, arg::Text>>(),
      repr_slot<SourceCodeClass, &repr_impl>(),
      richcompare_slot<SourceCodeClass, &compare_records<SourceCodeClass>>(),
  };
  static PyMethodDef methods[] = {
      method<SourceCodeClass, &record_to_dict<SourceCodeClass>>("to_dict", "to_dict($self)\n--\n\n"),
      static_method<kFromDict, &record_from_dict<SourceCodeClass>, arg::Object>(),
      {},
  };
  static PyGetSetDef properties[] = {
      text_member<SourceCodeClass, &SourceCode::language>("language"),
      text_member<SourceCodeClass, &SourceCode::code>("code"),
      {},
  };
  static const ClassDef def{"SourceCode", kNew.doc, sizeof(Instance<SourceCodeClass>),
                            &release_object<SourceCodeClass>, slots, methods, properties, {}};
  return def;
}

}  // namespace revizer::python
