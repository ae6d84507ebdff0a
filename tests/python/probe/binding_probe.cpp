// Test-only extension `_binding_probe`: one class, `Probe`, whose callables
// cover the binder's parameter shapes and every argument converter, plus an
// uninstantiable class and a module function. Bodies hand the converted
// values back so the tests can see what the converters produced. The
// constructor twins are in constructor_probe.cpp.
#include <Python.h>

#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "python/src/binding/binding.h"
#include "python/src/enums/result_enums.h"
#include "tests/python/probe/constructor_probe.h"
#include "tests/python/probe/described_probe.h"

namespace revizer::python::probe {
namespace {

struct ProbeRecord {
  std::string alpha;
  std::int32_t beta;
  std::optional<std::string> gamma;
  bool delta;
  std::vector<std::string> epsilon;
};

struct ProbeClass {
  using Record = ProbeRecord;
  static const ClassDef& def();
};

struct OpaqueClass {
  using Record = std::string;
  static const ClassDef& def();
};

// --- Python values of the converted arguments -----------------------------

PyObject* text(std::string_view value) { return new_str(value); }
PyObject* py(const std::string& value) { return text(value); }
PyObject* py(std::int32_t value) { return PyLong_FromLong(value); }
PyObject* py(std::uint32_t value) { return PyLong_FromUnsignedLong(value); }
PyObject* py(double value) { return PyFloat_FromDouble(value); }
PyObject* py(bool value) { return PyBool_FromLong(value); }
PyObject* py(const TextMap& map) {
  Ref dict = Ref::steal(PyDict_New());
  for (const auto& [key, value] : map) {
    Ref v = Ref::steal(text(value));
    if (!dict || !v || PyDict_SetItemString(dict.get(), key.c_str(), v.get()) < 0) return nullptr;
  }
  return dict.release();
}
template <class T>
PyObject* py(const std::vector<T>& values) {
  Ref list = Ref::steal(PyList_New(0));
  for (const T& value : values) {
    Ref item = Ref::steal(py(value));
    if (!list || !item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}
template <class T>
PyObject* py(const std::optional<T>& value) {
  return value ? py(*value) : Py_NewRef(Py_None);
}
PyObject* py(const ProbeRecord& record) {
  return Py_BuildValue("(NNNNN)", py(record.alpha), py(record.beta), py(record.gamma), py(record.delta),
                       py(record.epsilon));
}

// --- Probe ----------------------------------------------------------------

constexpr auto kNew = signature("Probe", "__new__",
                                "Probe(alpha, beta, gamma=None, *, delta, epsilon)\n--\n\nBinder probe.",
                                pos("alpha"), pos("beta"), opt("gamma"), kw("delta"), kw("epsilon"));
constexpr auto kJoin = signature("Probe", "join", "join(first, second, third)\n--\n\n", pos("first"),
                                 pos("second"), pos("third"));
constexpr auto kKeywords = signature("Probe", "keywords", "keywords(*, a, b, c, d=None)\n--\n\n", kw("a"), kw("b"),
                                     kw("c"), kwopt("d"));
constexpr auto kConvert =
    signature("Probe", "convert",
              "convert(*, i32=None, u32=None, f64=None, flag=None, texts=..., opt_texts=None, floats=None, "
              "indices=..., strmap=None, decision=None, probe=None)\n--\n\n",
              kwopt("i32"), kwopt("u32"), kwopt("f64"), kwopt("flag"), kwopt("texts"), kwopt("opt_texts"),
              kwopt("floats"), kwopt("indices"), kwopt("strmap"), kwopt("decision"), kwopt("probe"));
constexpr auto kRelease = signature("Probe", "release_elsewhere", "release_elsewhere(value)\n--\n\n", pos("value"));
constexpr auto kWith = signature("Probe", "with_suffix", "with_suffix($self, suffix)\n--\n\n", pos("suffix"));

PyObject* probe_new(PyTypeObject* type, std::string alpha, std::int32_t beta, std::optional<std::string> gamma,
                    bool delta, std::vector<std::string> epsilon) {
  return create_object_of_type<ProbeClass>(
      type, {std::move(alpha), beta, std::move(gamma), delta, std::move(epsilon)});
}

PyObject* probe_repr(const ProbeRecord& record) { return PyUnicode_FromFormat("Probe(%s)", record.alpha.c_str()); }

// Hands the comparison code back, so tests see what reached the body.
PyObject* probe_compare(const ProbeRecord&, PyObject*, int op) { return PyLong_FromLong(op); }

PyObject* probe_values(const ProbeRecord& record) { return py(record); }
PyObject* probe_alpha(const ProbeRecord& record) { return py(record.alpha); }

PyObject* probe_with_suffix(const ProbeRecord& record, std::string suffix) { return py(record.alpha + suffix); }

PyObject* probe_join(PyObject* first, PyObject* second, PyObject* third) {
  return PyTuple_Pack(3, first, second, third);
}

PyObject* probe_keywords(std::string a, std::string b, std::string c, std::optional<std::string> d) {
  return Py_BuildValue("(NNNN)", py(a), py(b), py(c), py(d));
}

PyObject* probe_convert(std::optional<std::int32_t> i32, std::optional<std::uint32_t> u32, std::optional<double> f64,
                        std::optional<bool> flag, std::vector<std::string> texts, std::vector<std::string> opt_texts,
                        std::vector<double> floats, std::vector<std::uint32_t> indices,
                        std::optional<TextMap> strmap, std::optional<result::Decision> decision,
                        std::optional<ProbeRecord> probe) {
  std::optional<std::int32_t> decision_index;
  if (decision) decision_index = static_cast<std::int32_t>(*decision);
  std::optional<std::string> probe_alpha;
  if (probe) probe_alpha = probe->alpha;
  return Py_BuildValue("{sNsNsNsNsNsNsNsNsNsNsN}", "i32", py(i32), "u32", py(u32), "f64", py(f64), "flag",
                       py(flag), "texts", py(texts), "opt_texts", py(opt_texts), "floats", py(floats), "indices",
                       py(indices), "strmap", py(strmap), "decision", py(decision_index), "probe", py(probe_alpha));
}

// Takes a reference and drops it on a thread that never attaches: the release
// must wait for the next entry instead of touching the count unattached.
PyObject* probe_release_elsewhere(PyObject* object) {
  Py_INCREF(object);
  std::thread([object] { release_reference(object); }).join();
  return Py_NewRef(Py_None);
}

PyObject* probe_panic() { throw Panic("probe panicked"); }
PyObject* probe_out_of_memory() { throw std::bad_alloc(); }
PyObject* probe_opaque() { return create_object<OpaqueClass>("hidden"); }

const ClassDef& ProbeClass::def() {
  static const PyType_Slot slots[] = {
      constructor_slot<ProbeClass, kNew, &probe_new, arg::Text, arg::I32, arg::Opt<arg::Text>, arg::Bool,
                       arg::RequiredList<arg::Text>>(),
      repr_slot<ProbeClass, &probe_repr>(),
      richcompare_slot<ProbeClass, &probe_compare>(),
  };
  static PyMethodDef methods[] = {
      method<ProbeClass, &probe_values>("values", "values($self)\n--\n\n"),
      method<ProbeClass, kWith, &probe_with_suffix, arg::Text>(),
      static_method<kJoin, &probe_join, arg::Object, arg::Object, arg::Object>(),
      static_method<kKeywords, &probe_keywords, arg::Text, arg::Text, arg::Text, arg::Opt<arg::Text>>(),
      static_method<kConvert, &probe_convert, arg::Opt<arg::I32>, arg::Opt<arg::U32>, arg::Opt<arg::F64>,
                    arg::Opt<arg::Bool>, arg::List<arg::Text>, arg::OptList<arg::Text>, arg::OptList<arg::F64>,
                    arg::List<arg::U32>, arg::Opt<arg::StrMap>, arg::Opt<arg::Enum<Decision>>,
                    arg::Opt<arg::Record<ProbeClass>>>(),
      static_method<kRelease, &probe_release_elsewhere, arg::Object>(),
      static_method<&probe_panic>("panic", "panic()\n--\n\n"),
      static_method<&probe_out_of_memory>("out_of_memory", "out_of_memory()\n--\n\n"),
      static_method<&probe_opaque>("opaque", "opaque()\n--\n\n"),
      {},
  };
  static PyGetSetDef properties[] = {property<ProbeClass, &probe_alpha>("alpha", "The first argument."), {}};
  static const ClassDef def{"Probe",  kNew.doc, sizeof(Instance<ProbeClass>), &release_object<ProbeClass>,
                            slots,    methods,  properties,                   {}};
  return def;
}

// --- Opaque: no constructor ---------------------------------------------

PyObject* opaque_repr(const std::string& record) { return PyUnicode_FromFormat("Opaque(%s)", record.c_str()); }

const ClassDef& OpaqueClass::def() {
  static const PyType_Slot slots[] = {repr_slot<OpaqueClass, &opaque_repr>()};
  static const ClassDef def{"Opaque", "Made only by Probe.opaque().", sizeof(Instance<OpaqueClass>),
                            &release_object<OpaqueClass>, slots, nullptr, nullptr, {}};
  return def;
}

// --- Module ---------------------------------------------------------------

constexpr auto kFunction = signature(nullptr, "probe_function", "probe_function(a, b=None)\n--\n\n", pos("a"),
                                     opt("b"));

PyObject* probe_function(std::string a, std::optional<std::string> b) { return Py_BuildValue("(NN)", py(a), py(b)); }

PyMethodDef kFunctionDef = function<kFunction, &probe_function, arg::Text, arg::Opt<arg::Text>>();

int probe_exec(PyObject* module) noexcept {
  return guarded<int>(-1, [&] {
    if (PyModule_AddType(module, type_object<ProbeClass>()) < 0) return -1;
    if (PyModule_AddType(module, type_object<OpaqueClass>()) < 0) return -1;
    if (PyModule_AddType(module, type_object<Decision>()) < 0) return -1;
    if (add_constructor_probes(module) < 0) return -1;
    if (add_described_probes(module) < 0) return -1;
    PyObject* panic = panic_exception_type();
    if (panic == nullptr || PyModule_AddObjectRef(module, "PanicException", panic) < 0) return -1;
    Ref name = Ref::steal(PyModule_GetNameObject(module));
    if (!name) return -1;
    Ref function = Ref::steal(PyCMethod_New(&kFunctionDef, module, name.get(), nullptr));
    if (!function) return -1;
    return PyModule_AddObjectRef(module, "probe_function", function.get());
  });
}

PyModuleDef_Slot kSlots[] = {{Py_mod_exec, reinterpret_cast<void*>(&probe_exec)}, {0, nullptr}};
PyModuleDef kModuleDef = {
    .m_base = PyModuleDef_HEAD_INIT, .m_name = "_binding_probe", .m_doc = nullptr, .m_size = 0,
    .m_methods = nullptr, .m_slots = kSlots, .m_traverse = nullptr, .m_clear = nullptr, .m_free = nullptr,
};

}  // namespace
}  // namespace revizer::python::probe

extern "C" PyMODINIT_FUNC PyInit__binding_probe() { return PyModuleDef_Init(&revizer::python::probe::kModuleDef); }
