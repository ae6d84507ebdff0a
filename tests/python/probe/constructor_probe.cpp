// Twin classes with one parameter table: `InPlace` builds its record in the
// new object (record_constructor_slot), `ByBody` converts and calls a typed
// body (constructor_slot). The tests call both the same way and expect the
// same values and the same errors.
#include "tests/python/probe/constructor_probe.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "python/src/binding/binding.h"
#include "python/src/enums/result_enums.h"

namespace revizer::python::probe {
namespace {

struct Part {
  std::string label;
};

struct Twin {
  std::string text;
  std::int32_t number = 0;
  std::optional<std::string> maybe;
  bool flag = false;
  std::vector<std::int32_t> numbers;
  std::vector<Part> parts;
  std::vector<std::uint8_t> decisions;
  std::optional<Part> part;
  std::optional<std::uint8_t> decision;
  std::optional<TextMap> strmap;
};

struct PartClass {
  using Record = Part;
  static const ClassDef& def();
};
struct InPlaceClass {
  using Record = Twin;
  static const ClassDef& def();
};
struct ByBodyClass {
  using Record = Twin;
  static const ClassDef& def();
};

// --- Python values of a record ---------------------------------------------

PyObject* text(const std::string& value) {
  return PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size()));
}

template <class T, class Make>
PyObject* list_of(const std::vector<T>& values, Make make) {
  Ref list = Ref::steal(PyList_New(0));
  for (const T& value : values) {
    Ref item = Ref::steal(make(value));
    if (!list || !item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* index(std::uint8_t value) { return PyLong_FromLong(value); }
PyObject* number(std::int32_t value) { return PyLong_FromLong(value); }
PyObject* label(const Part& part) { return text(part.label); }

template <class T, class Make>
PyObject* maybe_of(const std::optional<T>& value, Make make) {
  return value ? make(*value) : Py_NewRef(Py_None);
}

PyObject* map_of(const TextMap& map) {
  Ref dict = Ref::steal(PyDict_New());
  for (const auto& [key, value] : map) {
    Ref v = Ref::steal(text(value));
    if (!dict || !v || PyDict_SetItemString(dict.get(), key.c_str(), v.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* twin_values(const Twin& r) {
  return Py_BuildValue("(NNNNNNNNNN)", text(r.text), number(r.number), maybe_of(r.maybe, text),
                       PyBool_FromLong(r.flag), list_of(r.numbers, number), list_of(r.parts, label),
                       list_of(r.decisions, index), maybe_of(r.part, label), maybe_of(r.decision, index),
                       maybe_of(r.strmap, map_of));
}

// --- Part -------------------------------------------------------------------

constexpr auto kPartNew = signature("Part", "__new__", "Part(label)\n--\n\n", pos("label"));

const ClassDef& PartClass::def() {
  static const PyType_Slot slots[] = {record_constructor_slot<PartClass, kPartNew, Field<&Part::label, arg::Text>>()};
  static const ClassDef def{"Part", kPartNew.doc, sizeof(Instance<PartClass>), &release_object<PartClass>,
                            slots, nullptr, nullptr, {}};
  return def;
}

// --- The twins -------------------------------------------------------------

consteval auto twin_signature(const char* class_name, const char* doc) {
  return signature(class_name, "__new__", doc, pos("text"), pos("number"), opt("maybe"), kw("flag"), kw("numbers"),
                   kwopt("parts"), kwopt("decisions"), kwopt("part"), kwopt("decision"), kwopt("strmap"));
}
constexpr auto kInPlaceNew = twin_signature(
    "InPlace",
    "InPlace(text, number, maybe=None, *, flag, numbers, parts=..., decisions=None, part=None, decision=None, "
    "strmap=None)\n--\n\n");
constexpr auto kByBodyNew = twin_signature(
    "ByBody",
    "ByBody(text, number, maybe=None, *, flag, numbers, parts=..., decisions=None, part=None, decision=None, "
    "strmap=None)\n--\n\n");

using Numbers = arg::RequiredList<arg::I32>;
using Parts = arg::List<arg::Record<PartClass>>;
using Decisions = arg::OptList<arg::Enum<Decision>>;

PyObject* by_body_new(PyTypeObject* type, std::string text, std::int32_t number, std::optional<std::string> maybe,
                      bool flag, std::vector<std::int32_t> numbers, std::vector<Part> parts,
                      std::vector<std::uint8_t> decisions, std::optional<Part> part,
                      std::optional<std::uint8_t> decision, std::optional<TextMap> strmap) {
  return create_object_of_type<ByBodyClass>(
      type, {std::move(text), number, std::move(maybe), flag, std::move(numbers), std::move(parts),
             std::move(decisions), std::move(part), decision, std::move(strmap)});
}

const ClassDef& InPlaceClass::def() {
  static const PyType_Slot slots[] = {
      record_constructor_slot<InPlaceClass, kInPlaceNew, Field<&Twin::text, arg::Text>, Field<&Twin::number, arg::I32>,
                              Field<&Twin::maybe, arg::Opt<arg::Text>>, Field<&Twin::flag, arg::Bool>,
                              Field<&Twin::numbers, Numbers>, Field<&Twin::parts, Parts>,
                              Field<&Twin::decisions, Decisions>, Field<&Twin::part, arg::Opt<arg::Record<PartClass>>>,
                              Field<&Twin::decision, arg::Opt<arg::Enum<Decision>>>,
                              Field<&Twin::strmap, arg::Opt<arg::StrMap>>>(),
  };
  static PyMethodDef methods[] = {method<InPlaceClass, &twin_values>("values", "values($self)\n--\n\n"), {}};
  static const ClassDef def{"InPlace", kInPlaceNew.doc, sizeof(Instance<InPlaceClass>),
                            &release_object<InPlaceClass>, slots, methods, nullptr, {}};
  return def;
}

const ClassDef& ByBodyClass::def() {
  static const PyType_Slot slots[] = {
      constructor_slot<ByBodyClass, kByBodyNew, &by_body_new, arg::Text, arg::I32, arg::Opt<arg::Text>, arg::Bool,
                       Numbers, Parts, Decisions, arg::Opt<arg::Record<PartClass>>, arg::Opt<arg::Enum<Decision>>,
                       arg::Opt<arg::StrMap>>(),
  };
  static PyMethodDef methods[] = {method<ByBodyClass, &twin_values>("values", "values($self)\n--\n\n"), {}};
  static const ClassDef def{"ByBody", kByBodyNew.doc, sizeof(Instance<ByBodyClass>), &release_object<ByBodyClass>,
                            slots, methods, nullptr, {}};
  return def;
}

}  // namespace

int add_constructor_probes(PyObject* module) {
  if (PyModule_AddType(module, type_object<PartClass>()) < 0) return -1;
  if (PyModule_AddType(module, type_object<InPlaceClass>()) < 0) return -1;
  return PyModule_AddType(module, type_object<ByBodyClass>());
}

}  // namespace revizer::python::probe
