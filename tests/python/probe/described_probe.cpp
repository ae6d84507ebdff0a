// Classes made from descriptions alone, with the rows and converters that
// Tool and its parts do not use: defaults kept from the record, None as a
// default, model enumerations, JSON values, maps, 64-bit and float members,
// parameters without a member handed to the finish hook, hand-written
// properties, and a class without a constructor.
#include "tests/python/probe/described_probe.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/json/value.h"
#include "python/src/binding/binding.h"
#include "python/src/convert/json_arg.h"
#include "python/src/enums/result_enums.h"

namespace revizer::python::probe {

struct Gauge {
  std::string label;
  std::string note;
  bool enabled = true;
  result::Mode mode = result::Mode::Govern;
  std::vector<result::Decision> history;
  json::Value data;
  std::int64_t version = -5;
  std::uint64_t size = std::uint64_t{1} << 63;
  double ratio = 0.5;
  std::map<std::string, std::string> labels;
  std::optional<std::int32_t> code;
};

struct Sealed {
  std::string name = "sealed";
};

}  // namespace revizer::python::probe

namespace revizer::python {
template <>
const ClassDef& DataClass<probe::Gauge>::def();
template <>
const ClassDef& DataClass<probe::Sealed>::def();
}  // namespace revizer::python

namespace revizer::python::probe {
namespace {

using GaugeClass = DataClass<Gauge>;
using SealedClass = DataClass<Sealed>;

// The values of the rows without a member, in row order.
bool finish_gauge(Gauge& gauge, std::int32_t scale, std::optional<std::string> suffix) {
  if (suffix == "!") {
    PyErr_SetString(PyExc_ValueError, "bad suffix");
    return false;
  }
  if (suffix) gauge.label += *suffix;
  if (scale != 0) gauge.version = scale;
  return true;
}

PyObject* summary(const Gauge& gauge) {
  return PyUnicode_FromFormat("%s:%d", gauge.label.c_str(), static_cast<int>(gauge.mode));
}

constexpr auto kGauge = describe<GaugeClass, &finish_gauge>(
    {.name = "Gauge", .doc = "A gauge."},
    pos<arg::Text>("label", &Gauge::label),
    pos<arg::Defaulted<arg::I32>>("scale", "0"),
    kw<arg::NoneDefaulted<arg::Text>>("note", &Gauge::note, "None"),
    kw<arg::Defaulted<arg::Bool>>("enabled", &Gauge::enabled, "True"),
    kw<arg::NoneDefaulted<arg::Enum<Mode>>>("mode", &Gauge::mode, "None"),
    kw<arg::List<arg::Enum<Decision>>>("history", &Gauge::history, "..."),
    kw<arg::Defaulted<arg::Json>>("data", &Gauge::data, "None"),
    kw<arg::NoneDefaulted<arg::StrMap>>("labels", &Gauge::labels, "None"),
    kw<arg::Opt<arg::I32>>("code", &Gauge::code, "None"),
    kw<arg::Opt<arg::Text>>("suffix", "None"),
    // Properties come in row order: these rows place the properties of
    // `labels` and `code` after three that have no parameter.
    prop("version", &Gauge::version),
    prop("size", &Gauge::size),
    prop("ratio", &Gauge::ratio).doc("A ratio."),
    prop("labels", &Gauge::labels),
    prop("code", &Gauge::code),
    prop<&summary>("summary"));

constexpr auto kSealed = describe<SealedClass>({.name = "Sealed", .doc = "Made only by Sealed.make().", .constructor = false},
                                               prop("name", &Sealed::name));

PyObject* make_sealed() { return create_object<SealedClass>(Sealed{}); }

}  // namespace

int add_described_probes(PyObject* module) {
  if (PyModule_AddType(module, type_object<GaugeClass>()) < 0) return -1;
  if (PyModule_AddType(module, type_object<SealedClass>()) < 0) return -1;
  return PyModule_AddType(module, type_object<Mode>());
}

}  // namespace revizer::python::probe

namespace revizer::python {

template <>
const ClassDef& DataClass<probe::Gauge>::def() {
  return described_class<probe::kGauge>();
}

template <>
const ClassDef& DataClass<probe::Sealed>::def() {
  return described_class<probe::kSealed>(
      {.methods = {static_method<&probe::make_sealed>("make", "make()\n--\n\n")}});
}

}  // namespace revizer::python
