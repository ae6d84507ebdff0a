#pragma once

// The Python binding layer: one declarative description per class drives its
// heap type ("builtins.<Class>"), and shared trampolines bind, convert and
// call typed bodies. Nothing here throws across the C API: every entry turns
// std::bad_alloc into MemoryError and any other C++ exception into the panic
// exception (a BaseException subclass).
//
// Declaring a class (a record held inline in the object):
//
//   struct SourceCodeClass {
//     using Record = agent::SourceCode;
//     static const ClassDef& def();
//   };
//
//   constexpr auto kNew = signature("SourceCode", "__new__",
//       "SourceCode(language, code)\n--\n\nSource code of a tool.", pos("language"), pos("code"));
//   constexpr auto kFromDict = signature("SourceCode", "from_dict", "from_dict(data)\n--\n\n", pos("data"));
//
//   PyObject* language(const agent::SourceCode& r) { return PyUnicode_FromStringAndSize(...); }
//   PyObject* repr_impl(const agent::SourceCode& r);
//   PyObject* compare(const agent::SourceCode& r, PyObject* other, int op);
//   PyObject* to_dict(const agent::SourceCode& r);
//   PyObject* from_dict(PyObject* data);
//
//   const ClassDef& SourceCodeClass::def() {
//     static const PyType_Slot slots[] = {
//         record_constructor_slot<SourceCodeClass, kNew, Field<&agent::SourceCode::language, arg::Text>,
//                                 Field<&agent::SourceCode::code, arg::Text>>(),
//         repr_slot<SourceCodeClass, &repr_impl>(),
//         richcompare_slot<SourceCodeClass, &compare>(),
//     };
//     static PyMethodDef methods[] = {
//         method<SourceCodeClass, &to_dict>("to_dict", "to_dict($self)\n--\n\n"),
//         static_method<kFromDict, &from_dict, arg::Object>(),
//         {},
//     };
//     static PyGetSetDef properties[] = {property<SourceCodeClass, &language>("language"), {}};
//     static const ClassDef def{"SourceCode", kNew.doc, sizeof(Instance<SourceCodeClass>),
//                               &release_object<SourceCodeClass>, slots, methods, properties, {}};
//     return def;
//   }
//
// then `type_object<SourceCodeClass>()` gives the type (register it in
// module.cpp), `create_object<SourceCodeClass>(record)` makes objects,
// `downcast<SourceCodeClass>(obj)` / `to_record<SourceCodeClass>(obj)` check
// and copy other operands, and `arg::Record<SourceCodeClass>` converts an
// argument. A class without a constructor slot cannot be instantiated. The
// constructor row converts each argument straight into its record member;
// where construction needs logic of its own, `constructor_slot<C, kNew,
// &new_impl, Conv...>()` calls a typed body instead (see constructor.h).
//
// Parameter tables: `signature(class, callable, doc, params...)` with
// pos/opt/kw/kwopt; the build fails when the doc's text signature disagrees.
// Converters (`arg::Text`, `TextView`, `Str`, `Bool`, `I32`, `U32`, `F64`,
// `StrMap`, `Object`, `Record<C>`, `RecordRef<C>`, `Enum<E>`, `Opt<X>`,
// `List<X>` for a `...` default, `OptList<X>` for a None default,
// `RequiredList<X>`) run after binding, in table order, and add the note
// "while processing '<name>'" on failure. Bodies return a new reference or
// null with the Python error set (PyResult<T> for helpers).
//
// Instance methods with parameters: `method<C, kSig, &body, Conv...>()`, body
// `(const Record&, Conv::type...)`. Module functions:
//
//   constexpr auto kUpdate = signature(nullptr, "update_env_file",
//       "update_env_file(updates)\n--\n\n...", pos("updates"));
//   static PyMethodDef def = function<kUpdate, &update_env_file_impl, arg::Object>();
//   module_add_function(module, &def);
//
// Enumerations: see enum_class.h. References dropped on threads without the
// interpreter: `release_reference` (entry.h).

#include "python/src/binding/binder.h"
#include "python/src/binding/constructor.h"
#include "python/src/binding/convert.h"
#include "python/src/binding/entry.h"
#include "python/src/binding/enum_class.h"
#include "python/src/binding/members.h"
#include "python/src/binding/object.h"
#include "python/src/binding/ref.h"
#include "python/src/binding/signature.h"
#include "python/src/binding/type_object.h"
