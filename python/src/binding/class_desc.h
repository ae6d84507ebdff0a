#pragma once

// Class descriptions: one constexpr table per Python class names each
// constructor parameter once, with the record member it fills, its converter
// (convert.h) and its keyword/default word. From that table come
//   - the binder's parameter table and the class doc, whose text signature
//     ("Tool(name, description, parameters, *, id=None, ...)") is generated
//     at compile time from the rows;
//   - the constructor, which converts each argument straight into its member
//     of a record built in the new object, in table order, with the note
//     "while processing '<name>'" on the first failure;
//   - one property per property row, in row order, whose getter is chosen
//     from the member's type (py_value.h) unless the row names a body.
// Data classes add their generic rows (to_dict, from_dict, comparison) on top:
// see python/src/classes/data_class.h, which also shows a whole class.
//
// The rows are in class_rows.h, the tables and the doc in class_doc.h, the
// constructor in class_constructor.h and the properties in
// class_properties.h; this header puts a class definition together.

#include <Python.h>

#include <algorithm>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "python/src/binding/class_constructor.h"
#include "python/src/binding/class_doc.h"
#include "python/src/binding/class_properties.h"
#include "python/src/binding/class_rows.h"
#include "python/src/binding/members.h"
#include "python/src/binding/type_object.h"

namespace revizer::python {

// Hand-written members beside a description.
struct ClassExtras {
  std::initializer_list<PyType_Slot> slots = {};
  std::initializer_list<PyMethodDef> methods = {};     // before any generic method
  std::initializer_list<PyGetSetDef> properties = {};  // after the described ones
};

// The storage a ClassDef points into; kept for the life of the process.
struct ClassTablesStorage {
  std::vector<PyType_Slot> slots;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> properties;
};

// Fills `storage` from the description, `extras` and the caller's generic
// `methods` (skipped where `extras` has a method of the same name) and
// returns the class definition over it.
template <const auto& Desc>
ClassDef described_class_def(ClassTablesStorage& storage, const ClassExtras& extras,
                             std::span<const PyType_Slot> generic_slots = {},
                             std::span<const PyMethodDef> generic_methods = {}) {
  using C = typename ClassTables<Desc>::Class;
  if constexpr (Desc.options.constructor) storage.slots.push_back(described_constructor_slot<Desc>());
  if constexpr (Desc.options.repr != nullptr) storage.slots.push_back(repr_slot<C, Desc.options.repr>());
  storage.slots.insert(storage.slots.end(), generic_slots.begin(), generic_slots.end());
  storage.slots.insert(storage.slots.end(), extras.slots.begin(), extras.slots.end());
  storage.methods.assign(extras.methods.begin(), extras.methods.end());
  for (const PyMethodDef& method : generic_methods) {
    const bool own = std::any_of(extras.methods.begin(), extras.methods.end(), [&](const PyMethodDef& m) {
      return std::string_view(m.ml_name) == method.ml_name;
    });
    if (!own) storage.methods.push_back(method);
  }
  storage.methods.push_back({});
  storage.properties = described_properties<Desc>();
  storage.properties.insert(storage.properties.end(), extras.properties.begin(), extras.properties.end());
  storage.properties.push_back({});
  return ClassDef{Desc.options.name,
                  ClassTables<Desc>::kDoc.data(),
                  sizeof(Instance<C>),
                  &release_object<C>,
                  storage.slots,
                  storage.methods.size() > 1 ? storage.methods.data() : nullptr,
                  storage.properties.size() > 1 ? storage.properties.data() : nullptr,
                  {}};
}

// A class from its description alone (no generic data-class rows).
template <const auto& Desc>
const ClassDef& described_class(const ClassExtras& extras = {}) {
  static ClassTablesStorage* storage = new ClassTablesStorage;  // process-wide, like the type
  static const ClassDef def = described_class_def<Desc>(*storage, extras);
  return def;
}

}  // namespace revizer::python
