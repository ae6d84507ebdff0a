#pragma once

// The Python binding layer: one declarative description per class drives its
// heap type ("builtins.<Class>"), and shared trampolines bind, convert and
// call typed bodies. Nothing here throws across the C API: every entry turns
// std::bad_alloc into MemoryError and any other C++ exception into the panic
// exception (a BaseException subclass).
//
// A class is a C++ type `C` with `using Record = ...;` (the record held
// inline in the object) and `static const ClassDef& def();`. Data classes are
// `DataClass<Record>` and are declared by one description each: see
// python/src/classes/data_class.h for a whole class and class_desc.h for the
// rows. Then `type_object<C>()` gives the type (register it in module.cpp),
// `create_object<C>(record)` makes objects, `py_value(x)` the Python value of
// a member, `downcast<C>(obj)` / `to_record<C>(obj)` check and copy other
// operands, and `arg::Record<C>` converts an argument. A class without a
// constructor slot cannot be instantiated. Where construction needs logic of
// its own beyond a description's `finish` hook, `constructor_slot<C, kNew,
// &new_impl, Conv...>()` calls a typed body instead (see constructor.h).
//
// Parameter tables: `signature(class, callable, doc, params...)` with
// pos/opt/kw/kwopt; the build fails when the doc's text signature disagrees.
// Converters (`arg::Text`, `TextView`, `Str`, `Bool`, `I32`, `U32`, `F64`,
// `StrMap`, `Object`, `Record<C>`, `RecordRef<C>`, `Enum<C>`, `Opt<X>`,
// `Defaulted<X>`, `NoneDefaulted<X>`, `List<X>` for a `...` default,
// `OptList<X>` for a None default, `RequiredList<X>`; `Json` in
// python/src/convert/json_arg.h) run after binding, in table order, and add the note
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
#include "python/src/binding/class_desc.h"
#include "python/src/binding/constructor.h"
#include "python/src/binding/convert.h"
#include "python/src/binding/entry.h"
#include "python/src/binding/enum_class.h"
#include "python/src/binding/members.h"
#include "python/src/binding/object.h"
#include "python/src/binding/py_value.h"
#include "python/src/binding/ref.h"
#include "python/src/binding/signature.h"
#include "python/src/binding/type_object.h"
