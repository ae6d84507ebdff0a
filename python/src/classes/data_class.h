#pragma once

// Data classes: a class description (python/src/binding/class_desc.h) plus
// the generic rows every data class shares: `to_dict()`, the static
// `from_dict(data)`, `==`/`!=` field by field and the release routine. A
// whole class, the record's JSON description included from the model:
//
//   // tool_classes.h
//   using SourceCodeClass = DataClass<agent::SourceCode>;
//   template <> const ClassDef& SourceCodeClass::def();
//
//   // source_code.cpp
//   using agent::SourceCode;
//
//   PyObject* repr_impl(const SourceCode& source) {          // SourceCode(language="sh")
//     return ReprText("SourceCode").quoted("language", source.language).finish();
//   }
//
//   constexpr auto kSourceCode = describe<SourceCodeClass>(
//       {.name = "SourceCode", .doc = "Source code attached to a tool.", .repr = &repr_impl},
//       pos<arg::Text>("language", &SourceCode::language),
//       pos<arg::Text>("code", &SourceCode::code));
//
//   template <> const ClassDef& SourceCodeClass::def() { return data_class<kSourceCode>(); }
//
// and register `type_object<SourceCodeClass>` in module.cpp. More rows:
//
//   kw<arg::Opt<arg::Text>>("id", &Tool::id, "None")                  optional text
//   pos<arg::RequiredList<arg::Record<ParameterClass>>>("parameters", &Tool::parameters)
//   kw<arg::List<arg::Text>>("key_entities", &R::key_entities, "...")   absent: [], None refused
//   kw<arg::OptList<arg::Record<ToolClass>>>("tools", &R::tools, "None") absent or None: []
//   kw<arg::Opt<arg::Record<SourceCodeClass>>>("source", &Tool::source, "None")
//   kw<arg::Defaulted<arg::Bool>>("interim", &R::interim, "False")      absent: the member's default
//   kw<arg::NoneDefaulted<arg::Enum<Mode>>>("mode", &R::mode, "None")   absent or None: its default
//   pos<arg::Enum<ActorType>>("actor_type", &Actor::actor_type)        a model enum member
//   pos<arg::I32>, arg::U32, arg::F64, arg::Opt<arg::StrMap>, arg::Json (convert/json_arg.h)
//
// Options beside name, doc and repr: `.strip_asset_content = true` (to_dict
// of the six classes that strip), `.from_dict = false`, `.compare = false`,
// `.equal = &fn` (a comparison of its own), `.constructor = false` (no
// `__new__`: the class cannot be instantiated). Hand-written members go
// beside the table:
//
//   template <> const ClassDef& FileOperationClass::def() {
//     return data_class<kFileOperation>({.methods = {static_method<kRead, &read_impl, arg::Text>(), ...}});
//   }
//
// Extra methods come before `to_dict` and `from_dict`; a class that lists a
// method named `to_dict` or `from_dict` itself keeps its own (place the
// generic ones with `to_dict_method<kDesc>()` and `from_dict_method<kDesc>()`).

#include <Python.h>

#include "python/src/binding/binding.h"
#include "python/src/binding/class_desc.h"
#include "python/src/convert/compare.h"
#include "python/src/convert/dict_conversion.h"
#include "python/src/convert/repr_text.h"

namespace revizer::python {

namespace detail {

template <auto Equal>
struct EqualBy {
  template <class R>
  bool operator()(const R& a, const R& b) const {
    return Equal(a, b);
  }
};

template <const auto& Desc>
PyObject* to_dict_by_json(PyObject* self) {
  using C = typename ClassTables<Desc>::Class;
  json::Value value = json::encode(record_of<C>(self));
  if constexpr (Desc.options.strip_asset_content) core::strip_asset_content(value);
  return json_to_py(value);
}

template <const auto& Desc>
PyObject* from_dict_by_json(PyObject* data) {
  using C = typename ClassTables<Desc>::Class;
  auto record = from_py_by_json<typename C::Record>(data);
  if (!record) return nullptr;
  return create_object<C>(std::move(*record));
}

template <const auto& Desc>
constexpr DictForms dict_forms() {
  if constexpr (Desc.options.from_dict) {
    return {&to_dict_by_json<Desc>, &from_dict_by_json<Desc>};
  } else {
    return {&to_dict_by_json<Desc>, nullptr};  // a record written only
  }
}

template <const auto& Desc>
inline constexpr DictForms kDictForms = dict_forms<Desc>();

template <const auto& Desc>
struct FromDictSignature {
  static constexpr auto kSig = signature(Desc.options.name, "from_dict", "from_dict(data)\n--\n\n", pos("data"));
};

}  // namespace detail

template <const auto& Desc>
PyMethodDef to_dict_method() {
  using C = typename ClassTables<Desc>::Class;
  constexpr Strip strip = Desc.options.strip_asset_content ? Strip::AssetContent : Strip::No;
  return method<C, &record_to_dict<C, strip>>("to_dict", "to_dict($self)\n--\n\n");
}

template <const auto& Desc>
PyMethodDef from_dict_method() {
  using C = typename ClassTables<Desc>::Class;
  return static_method<detail::FromDictSignature<Desc>::kSig, &record_from_dict<C>, arg::Object>();
}

template <const auto& Desc>
PyType_Slot compare_slot() {
  using C = typename ClassTables<Desc>::Class;
  if constexpr (Desc.options.equal != nullptr) {
    return richcompare_slot<C, &compare_records<C, detail::EqualBy<Desc.options.equal>>>();
  } else {
    return richcompare_slot<C, &compare_records<C>>();
  }
}

template <const auto& Desc>
const ClassDef& data_class(const ClassExtras& extras = {}) {
  static ClassTablesStorage* storage = new ClassTablesStorage;  // process-wide, like the type
  static const ClassDef def = [&] {
    std::vector<PyType_Slot> slots;
    if constexpr (Desc.options.compare) slots.push_back(compare_slot<Desc>());
    std::vector<PyMethodDef> methods{to_dict_method<Desc>()};
    if constexpr (Desc.options.from_dict) methods.push_back(from_dict_method<Desc>());
    ClassDef made = described_class_def<Desc>(*storage, extras, slots, methods);
    made.dict_forms = &detail::kDictForms<Desc>;
    return made;
  }();
  return def;
}

}  // namespace revizer::python
