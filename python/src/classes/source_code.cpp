// SourceCode: "Source code attached to a tool."
#include "python/src/classes/data_class.h"
#include "python/src/classes/tool_classes.h"

namespace revizer::python {
namespace {

using agent::SourceCode;

// SourceCode(language="sh"): the code is not shown.
PyObject* repr_impl(const SourceCode& source) {
  return ReprText("SourceCode").quoted("language", source.language).finish();
}

constexpr auto kSourceCode = describe<SourceCodeClass>(
    {.name = "SourceCode", .doc = "Source code attached to a tool.", .repr = &repr_impl},
    pos<arg::Text>("language", &SourceCode::language),
    pos<arg::Text>("code", &SourceCode::code));

}  // namespace

template <>
const ClassDef& SourceCodeClass::def() {
  return data_class<kSourceCode>();
}

}  // namespace revizer::python
