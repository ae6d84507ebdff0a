#include "python/src/convert/json_to_py.h"


#include "python/src/binding/ref.h"
#include "python/src/binding/text.h"
#include "python/src/convert/key_cache.h"
#include "support/inline_stack.h"

namespace revizer::python {
namespace {

bool is_container(const json::Value& value) { return value.is_array() || value.is_object(); }

PyObject* scalar_to_py(const json::Value& value, StrCaches* caches) {
  switch (value.kind()) {
    case json::Kind::Null: Py_RETURN_NONE;
    case json::Kind::Bool: return PyBool_FromLong(value.as_bool());
    case json::Kind::U64: return PyLong_FromUnsignedLongLong(value.as_u64());
    case json::Kind::I64: return PyLong_FromLongLong(value.as_i64());
    case json::Kind::F64: return PyFloat_FromDouble(value.as_f64());
    case json::Kind::String: {
      return short_str(caches, value.as_string());
    }
    default: break;
  }
  Py_UNREACHABLE();
}

PyObject* empty_container(const json::Value& value) {
  if (value.is_array()) return PyList_New(static_cast<Py_ssize_t>(value.as_array().size()));
  return PyDict_New();
}

std::size_t size_of(const json::Value& container) {
  return container.is_array() ? container.as_array().size() : container.as_object().size();
}

// One container being filled: its JSON value, its Python object (owned by
// its parent, or by the result for the root) and the next element.
struct Frame {
  const json::Value* value;
  PyObject* object;
  std::size_t next;
};

}  // namespace

PyObject* json_to_py(const json::Value& value, StrCaches* caches) {
  if (!is_container(value)) return scalar_to_py(value, caches);
  Ref result = Ref::steal(empty_container(value));
  if (!result) return nullptr;
  InlineStack<Frame, 16> stack;
  stack.push_back({&value, result.get(), 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == size_of(*top.value)) {
      stack.pop_back();
      continue;
    }
    const std::size_t i = top.next++;
    const bool in_array = top.value->is_array();
    PyObject* parent = top.object;
    const json::Value& child = in_array ? top.value->as_array()[i] : top.value->as_object().members()[i].value;
    Ref item = Ref::steal(is_container(child) ? empty_container(child) : scalar_to_py(child, caches));
    if (!item) return nullptr;
    PyObject* item_object = item.get();
    if (in_array) {
      PyList_SET_ITEM(parent, static_cast<Py_ssize_t>(i), item.release());
    } else {
      Ref key = Ref::steal(dict_key(caches, top.value->as_object().members()[i].key));
      if (!key || PyDict_SetItem(parent, key.get(), item_object) < 0) return nullptr;
    }
    // `top` is not used past this point: the push may move the frames.
    if (is_container(child)) stack.push_back({&child, item_object, 0});
  }
  return result.release();
}

}  // namespace revizer::python
