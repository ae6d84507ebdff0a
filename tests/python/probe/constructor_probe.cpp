// Twin classes with one parameter table: `InPlace` is a class description
// (class_desc.h) that builds its record in the new object and reads every
// member back as a property, `ByBody` converts and calls a typed body
// (constructor_slot). The tests call both the same way and expect the same
// values and the same errors.
#include "tests/python/probe/constructor_probe.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "python/src/binding/binding.h"
#include "python/src/enums/result_enums.h"

namespace revizer::python::probe {
namespace {

}  // namespace

struct Part {
  std::string label;
};

namespace {

struct Twin {
  std::string text;
  std::int32_t number = 0;
  std::optional<std::string> maybe;
  bool flag = false;
  std::vector<std::int32_t> numbers;
  std::vector<Part> parts;
  std::vector<result::Decision> decisions;
  std::optional<Part> part;
  std::optional<result::Decision> decision;
  std::optional<TextMap> strmap;
};

}  // namespace
}  // namespace revizer::python::probe

namespace revizer::python {
template <>
const ClassDef& DataClass<probe::Part>::def();
}  // namespace revizer::python

namespace revizer::python::probe {
namespace {

using PartClass = DataClass<Part>;
struct InPlaceClass {
  using Record = Twin;
  static const ClassDef& def();
};
struct ByBodyClass {
  using Record = Twin;
  static const ClassDef& def();
};

// --- Python values of a record ---------------------------------------------

PyObject* text(const std::string& value) { return new_str(value); }

template <class T, class Make>
PyObject* list_of(const std::vector<T>& values, Make make) {
  Ref list = Ref::steal(PyList_New(0));
  for (const T& value : values) {
    Ref item = Ref::steal(make(value));
    if (!list || !item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* index(result::Decision value) { return PyLong_FromLong(static_cast<long>(value)); }
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

PyObject* part_repr(const Part& part) { return PyUnicode_FromFormat("Part(%s)", part.label.c_str()); }

constexpr auto kPart = describe<PartClass>({.name = "Part", .doc = "", .repr = &part_repr},
                                           pos<arg::Text>("label", &Part::label));

}  // namespace
}  // namespace revizer::python::probe

namespace revizer::python {
template <>
const ClassDef& DataClass<probe::Part>::def() {
  return described_class<probe::kPart>();
}
}  // namespace revizer::python

namespace revizer::python::probe {
namespace {

// --- The twins -------------------------------------------------------------

using Numbers = arg::RequiredList<arg::I32>;
using Parts = arg::List<arg::Record<PartClass>>;
using Decisions = arg::OptList<arg::Enum<Decision>>;

constexpr auto kInPlace = describe<InPlaceClass>(
    {.name = "InPlace", .doc = ""}, pos<arg::Text>("text", &Twin::text), pos<arg::I32>("number", &Twin::number),
    pos<arg::Opt<arg::Text>>("maybe", &Twin::maybe, "None"), kw<arg::Bool>("flag", &Twin::flag),
    kw<Numbers>("numbers", &Twin::numbers), kw<Parts>("parts", &Twin::parts, "..."),
    kw<Decisions>("decisions", &Twin::decisions, "None"),
    kw<arg::Opt<arg::Record<PartClass>>>("part", &Twin::part, "None"),
    kw<arg::Opt<arg::Enum<Decision>>>("decision", &Twin::decision, "None"),
    kw<arg::Opt<arg::StrMap>>("strmap", &Twin::strmap, "None"));

constexpr auto kByBodyNew = signature(
    "ByBody", "__new__",
    "ByBody(text, number, maybe=None, *, flag, numbers, parts=..., decisions=None, part=None, decision=None, "
    "strmap=None)\n--\n\n",
    pos("text"), pos("number"), opt("maybe"), kw("flag"), kw("numbers"), kwopt("parts"), kwopt("decisions"),
    kwopt("part"), kwopt("decision"), kwopt("strmap"));

PyObject* by_body_new(PyTypeObject* type, std::string text, std::int32_t number, std::optional<std::string> maybe,
                      bool flag, std::vector<std::int32_t> numbers, std::vector<Part> parts,
                      std::vector<result::Decision> decisions, std::optional<Part> part,
                      std::optional<result::Decision> decision, std::optional<TextMap> strmap) {
  return create_object_of_type<ByBodyClass>(
      type, {std::move(text), number, std::move(maybe), flag, std::move(numbers), std::move(parts),
             std::move(decisions), std::move(part), decision, std::move(strmap)});
}

const ClassDef& InPlaceClass::def() {
  return described_class<kInPlace>({.methods = {method<InPlaceClass, &twin_values>("values", "values($self)\n--\n\n")}});
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
