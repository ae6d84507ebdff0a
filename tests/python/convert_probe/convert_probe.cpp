// The two writers and the two readers of records, side by side:
//   pairs()        sample records with one field of every kind and write
//                  rule, each written straight into Python objects (`to_py`)
//                  and through its JSON form (`json_to_py(encode(...))`)
//   fast(data)     a `Sample` record read by the fast reader, as a dict, or
//                  None when it steps aside
//   general(data)  the same read by py_to_json and the decoder, or raised
//   stripped_event(text)
//                  an event read from JSON text, written with its asset
//                  content stripped by the fast writers (`to_py`, the text
//                  writer) and by stripping its JSON form: ((dict, dict),
//                  (text, text))
#include <Python.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "core/strip_asset_content.h"
#include "model/event/envelope_normalization.h"
#include "model/event/event_record.h"
#include "model/json/enum_codec.h"
#include "model/json/external_union.h"
#include "model/json/reader.h"
#include "model/json/record.h"
#include "model/json/record_text.h"
#include "model/json/writer.h"
#include "python/src/binding/ref.h"
#include "python/src/convert/json_to_py.h"
#include "python/src/convert/py_to_json.h"
#include "python/src/convert/py_to_record.h"
#include "python/src/convert/record_to_py.h"

namespace revizer::probe {

enum class Shade { Light, Dark };

}  // namespace revizer::probe

template <>
struct revizer::json::EnumTable<revizer::probe::Shade> {
  static constexpr std::array<EnumRow, 2> rows{{{"light", "LIGHT", "light"}, {"dark", "DARK", "dark"}}};
};

namespace revizer::probe {

// A type with a hand-written JSON form and no visible description: written
// through the JSON path by both writers.
struct Opaque {
  std::string text;
};

}  // namespace revizer::probe

template <>
struct revizer::json::Codec<revizer::probe::Opaque> {
  static Value encode(const probe::Opaque& o) {
    Object object;
    object.append_new("opaque", Value(o.text));
    return Value(std::move(object));
  }
  static Decoded decode(Value&&, probe::Opaque& out, Mode) {
    out = probe::Opaque{};
    return Ok{};
  }
};

namespace revizer::probe {

struct Inner {
  std::string name;
  std::optional<std::int32_t> rank;
};

// An externally tagged union.
using Pick = std::variant<Inner, std::vector<std::string>>;

struct Sample {
  std::string text;
  bool flag = false;
  bool shown = false;
  std::int32_t small = 0;
  std::int64_t wide = 0;
  std::uint32_t count = 0;
  std::uint64_t big = 0;
  double score = 0;
  std::optional<std::string> note;
  std::optional<std::string> always_note;
  std::vector<std::string> tags;
  std::vector<Inner> inners = {Inner{"kept", 1}};
  std::optional<Inner> inner;
  std::map<std::string, std::int32_t> labels;
  std::unordered_map<std::string, Inner> by_name;
  Shade shade = Shade::Light;
  json::Value data;
  Opaque opaque;
  std::optional<Box<Inner>> boxed;
  std::optional<Pick> pick;
};

using enum json::Written;
using enum json::Read;
using json::field;

inline constexpr json::Record kInner{"struct Inner", field<Always, Required>("name", &Inner::name),
                                     field<WhenPresent, DefaultAbsent>("rank", &Inner::rank)};

inline constexpr json::Record kSample{"struct Sample",
                                      field<Always, Required>("text", &Sample::text),
                                      field<WhenTrue, Default>("flag", &Sample::flag),
                                      field<Always, Default>("shown", &Sample::shown),
                                      field<Always, Default>("small", &Sample::small),
                                      field<Always, Default>("wide", &Sample::wide),
                                      field<Always, Default>("count", &Sample::count),
                                      field<Always, Default>("big", &Sample::big),
                                      field<Always, Default>("score", &Sample::score),
                                      field<WhenPresent, DefaultAbsent>("note", &Sample::note),
                                      field<Always, Optional>("always_note", &Sample::always_note),
                                      field<WhenNonEmpty, Default>("tags", &Sample::tags),
                                      field<Always, Default>("inners", &Sample::inners),
                                      field<WhenPresent, DefaultAbsent>("inner", &Sample::inner),
                                      field<WhenNonEmpty, Default>("labels", &Sample::labels),
                                      field<Always, Default>("by_name", &Sample::by_name),
                                      field<Always, Default>("shade", &Sample::shade),
                                      field<Always, Default>("data", &Sample::data),
                                      field<Always, Default>("opaque", &Sample::opaque),
                                      field<WhenPresent, DefaultAbsent>("boxed", &Sample::boxed),
                                      field<WhenPresent, DefaultAbsent>("pick", &Sample::pick)};

inline constexpr json::ExternalUnion<Pick> kPick{{"One", "Many"}};

constexpr const auto& json_record(const Pick*) { return kPick; }
constexpr const auto& json_record(const Inner*) { return kInner; }
constexpr const auto& json_record(const Sample*) { return kSample; }

std::vector<Sample> samples() {
  std::vector<Sample> out;
  out.emplace_back();  // every default: the optional and empty fields left out
  Sample full;
  full.text = "caf\xc3\xa9 \xf0\x9f\x98\x80";
  full.flag = true;
  full.shown = true;
  full.small = -7;
  full.wide = std::numeric_limits<std::int64_t>::min();
  full.count = std::numeric_limits<std::uint32_t>::max();
  full.big = std::numeric_limits<std::uint64_t>::max();
  full.score = 2.0;
  full.note = "";
  full.always_note = "a note longer than the small string buffer";
  full.tags = {"x", "", "y"};
  full.inners = {Inner{"a", 1}, Inner{"b", std::nullopt}};
  full.inner = Inner{"c", -1};
  full.labels = {{"z", 1}, {"a", -2}};
  full.by_name = {{"k", Inner{"d", 0}}};
  full.shade = Shade::Dark;
  json::Object nested;
  nested.append_new("list", json::Value(json::Array{json::Value(1), json::Value(-1), json::Value(1.5), json::Value()}));
  nested.append_new("yes", json::Value(true));
  full.data = json::Value(std::move(nested));
  full.opaque = Opaque{"o"};
  full.boxed = Box<Inner>(Inner{"e", 2});
  full.pick = Pick(std::in_place_index<1>, std::vector<std::string>{"m"});
  out.push_back(full);
  for (double score : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       -0.0, 1e300}) {
    Sample s;
    s.score = score;
    s.data = json::Value("text");
    out.push_back(s);
  }
  return out;
}

PyObject* pairs(PyObject*, PyObject*) {
  const std::vector<Sample> all = samples();
  python::Ref list = python::Ref::steal(PyList_New(0));
  if (!list) return nullptr;
  for (const Sample& s : all) {
    python::Ref direct = python::Ref::steal(python::to_py(s));
    if (!direct) return nullptr;
    python::Ref via_json = python::Ref::steal(python::json_to_py(kSample.encode(s)));
    if (!via_json) return nullptr;
    python::Ref pair = python::Ref::steal(PyTuple_Pack(2, direct.get(), via_json.get()));
    if (!pair || PyList_Append(list.get(), pair.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* fast(PyObject*, PyObject* data) {
  Sample sample{};
  if (!python::read_from_py(data, sample)) Py_RETURN_NONE;
  return python::to_py(sample);
}

PyObject* general(PyObject*, PyObject* data) {
  python::PyResult<json::Value> value = python::py_to_json(data);
  if (!value) return nullptr;
  auto sample = kSample.decode(std::move(*value), json::Mode::Direct);
  if (!sample) {
    const std::string text = sample.error().to_string();
    PyErr_SetString(PyExc_ValueError, text.c_str());
    return nullptr;
  }
  return python::to_py(*sample);
}

PyObject* stripped_event(PyObject*, PyObject* arg) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(arg, &size);
  if (data == nullptr) return nullptr;
  auto value = json::parse(std::string_view(data, static_cast<std::size_t>(size)));
  if (!value || !event::normalize_event_envelope(*value)) {
    PyErr_SetString(PyExc_ValueError, "not an event");
    return nullptr;
  }
  auto decoded = json::decode<event::Event>(std::move(*value));
  if (!decoded) {
    PyErr_SetString(PyExc_ValueError, decoded.error().to_string().c_str());
    return nullptr;
  }
  json::Value walked = json::encode(*decoded);
  core::strip_asset_content(walked);
  std::string text;
  json::write_text(*decoded, text, core::StripAssetContentText{});
  const std::string walked_text = json::write(walked);
  python::Ref direct = python::Ref::steal(python::to_py<event::Event, true>(*decoded));
  python::Ref via_walk = python::Ref::steal(python::json_to_py(walked));
  if (!direct || !via_walk) return nullptr;
  return Py_BuildValue("(OO)(s#s#)", direct.get(), via_walk.get(), text.data(), static_cast<Py_ssize_t>(text.size()),
                       walked_text.data(), static_cast<Py_ssize_t>(walked_text.size()));
}

PyMethodDef kMethods[] = {
    {"fast", &fast, METH_O, "fast(data)\n--\n\nThe fast reader's Sample record, or None."},
    {"general", &general, METH_O, "general(data)\n--\n\nThe general reader's Sample record."},
    {"pairs", &pairs, METH_NOARGS, "pairs()\n--\n\n(direct, via JSON) per sample record."},
    {"stripped_event", &stripped_event, METH_O,
     "stripped_event(text)\n--\n\nAn event's stripped forms from the fast writers and from the full walk."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot kSlots[] = {
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef kModule = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_convert_probe",
    .m_doc = nullptr,
    .m_size = 0,
    .m_methods = kMethods,
    .m_slots = kSlots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace revizer::probe

extern "C" PyMODINIT_FUNC PyInit__convert_probe() { return PyModuleDef_Init(&revizer::probe::kModule); }
