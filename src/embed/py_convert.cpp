#include "embed/py_convert.h"

#include <string>

#include "embed/py_args.h"
#include "embed/py_keyword.h"
#include "support/stack_guard.h"

namespace quorvel::embed::py {

namespace {

// Owns one Python reference.
class Ref {
 public:
  explicit Ref(PyObject* obj = nullptr) : obj_(obj) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(obj_); }
  PyObject* get() const { return obj_; }
  PyObject* release() {
    PyObject* obj = obj_;
    obj_ = nullptr;
    return obj;
  }
  explicit operator bool() const { return obj_ != nullptr; }

 private:
  PyObject* obj_;
};

bool too_deep() {
  if (StackGuard::has_room()) return false;
  PyErr_SetString(PyExc_RecursionError, "data nested too deeply to convert");
  return true;
}

// An attribute of a standard module, imported when first needed.
PyObject* module_attr(const char* module, const char* name) {
  Ref mod(PyImport_ImportModule(module));
  if (!mod) return nullptr;
  return PyObject_GetAttrString(mod.get(), name);
}

std::optional<int64_t> int_of(PyObject* obj) {
  const long long n = PyLong_AsLongLong(obj);
  if (n == -1 && PyErr_Occurred()) return std::nullopt;
  return static_cast<int64_t>(n);
}

// Converts every item an iterator yields.
template <class Add>
bool convert_items(PyObject* iterable, Add add) {
  Ref iterator(PyObject_GetIter(iterable));
  if (!iterator) return false;
  while (Ref item{PyIter_Next(iterator.get())}) {
    auto value = py_to_value(item.get());
    if (!value) return false;
    add(std::move(*value));
  }
  return !PyErr_Occurred();
}

std::optional<Value> sequence_to_value(PyObject* obj) {
  Value::Items items;
  if (!convert_items(obj, [&](Value v) { items = std::move(items).push_back(std::move(v)); })) {
    return std::nullopt;
  }
  return Value::vector(std::move(items));
}

std::optional<Value> dict_to_value(PyObject* obj) {
  // A snapshot of the items, so callbacks run by the conversion cannot
  // change the dict under the loop.
  Ref items(PyDict_Items(obj));
  if (!items) return std::nullopt;
  Value::Map entries;
  const Py_ssize_t n = PyList_Size(items.get());
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* pair = PyList_GetItem(items.get(), i);
    auto key = py_to_value(PyTuple_GetItem(pair, 0));
    if (!key) return std::nullopt;
    auto value = py_to_value(PyTuple_GetItem(pair, 1));
    if (!value) return std::nullopt;
    entries = std::move(entries).insert(std::move(*key), std::move(*value));
  }
  return Value::map(std::move(entries));
}

std::optional<Value> set_to_value(PyObject* obj) {
  Value::Set members;
  if (!convert_items(obj, [&](Value v) { members = std::move(members).insert(std::move(v)); })) {
    return std::nullopt;
  }
  return Value::set(std::move(members));
}

std::optional<Value> fraction_to_value(PyObject* obj) {
  Ref numerator(PyObject_GetAttrString(obj, "numerator"));
  if (!numerator) return std::nullopt;
  Ref denominator(PyObject_GetAttrString(obj, "denominator"));
  if (!denominator) return std::nullopt;
  const auto n = int_of(numerator.get());
  if (!n) return std::nullopt;
  const auto d = int_of(denominator.get());
  if (!d) return std::nullopt;
  return Value::ratio(*n, *d);
}

std::optional<Value> text_to_value(PyObject* str) {
  auto text = utf8_text(str);
  if (!text) return std::nullopt;
  return Value::string(std::move(*text));
}

}  // namespace

std::optional<Value> py_to_value(PyObject* obj) {
  if (obj == Py_None) return Value::nil();
  if (obj == Py_True || obj == Py_False) return Value::boolean(obj == Py_True);
  if (PyLong_Check(obj)) {
    const auto n = int_of(obj);
    if (!n) return std::nullopt;
    return Value::integer(*n);
  }
  if (PyFloat_Check(obj)) return Value::floating(PyFloat_AsDouble(obj));
  if (PyUnicode_Check(obj)) return text_to_value(obj);
  if (is_keyword(obj)) {
    auto name = keyword_name(obj);
    if (!name) return std::nullopt;
    return Value::keyword(std::move(*name));
  }
  const bool list = PyList_Check(obj) || PyTuple_Check(obj);
  const bool dict = PyDict_Check(obj);
  const bool set = PyAnySet_Check(obj);
  if (list || dict || set) {
    if (too_deep()) return std::nullopt;
    if (list) return sequence_to_value(obj);
    if (dict) return dict_to_value(obj);
    return set_to_value(obj);
  }
  Ref fraction(module_attr("fractions", "Fraction"));
  if (!fraction) return std::nullopt;
  const int is_fraction = PyObject_IsInstance(obj, fraction.get());
  if (is_fraction < 0) return std::nullopt;
  if (is_fraction) return fraction_to_value(obj);
  Ref text(PyObject_Str(obj));
  if (!text) return std::nullopt;
  return text_to_value(text.get());
}

namespace {

PyObject* items_to_list(const Value::Items& items) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  Py_ssize_t i = 0;
  for (const Value& item : items) {
    PyObject* obj = value_to_py(item);
    if (obj == nullptr) return nullptr;
    PyList_SetItem(list.get(), i++, obj);  // steals obj
  }
  return list.release();
}

PyObject* map_to_dict(const Value::Map& map) {
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, value] : map) {
    Ref k(value_to_py(key));
    if (!k) return nullptr;
    Ref v(value_to_py(value));
    if (!v) return nullptr;
    if (PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* set_to_frozenset(const Value::Set& set) {
  Ref members(PyList_New(0));
  if (!members) return nullptr;
  for (const Value& member : set) {
    Ref obj(value_to_py(member));
    if (!obj || PyList_Append(members.get(), obj.get()) < 0) return nullptr;
  }
  return PyFrozenSet_New(members.get());
}

PyObject* call_module_function(const char* module, const char* name, const char* format,
                               auto... args) {
  Ref function(module_attr(module, name));
  if (!function) return nullptr;
  return PyObject_CallFunction(function.get(), format, args...);
}

}  // namespace

PyObject* value_to_py(const Value& value) {
  using Kind = Value::Kind;
  switch (value.kind()) {
    case Kind::Nil:
      Py_RETURN_NONE;
    case Kind::Bool:
      return PyBool_FromLong(value.as_bool() ? 1 : 0);
    case Kind::Int:
      return PyLong_FromLongLong(value.as_int());
    case Kind::Float:
      return PyFloat_FromDouble(value.as_float());
    case Kind::Ratio:
      return call_module_function("fractions", "Fraction", "LL",
                                  static_cast<long long>(value.as_ratio().numerator),
                                  static_cast<long long>(value.as_ratio().denominator));
    case Kind::String:
    case Kind::Symbol:
    case Kind::Opaque:
      return new_str(value.as_text());
    case Kind::Keyword:
      return new_keyword(value.as_text());
    case Kind::Regex: {
      const std::string& pattern = value.as_regex().pattern;
      return call_module_function("re", "compile", "s#", pattern.data(),
                                  static_cast<Py_ssize_t>(pattern.size()));
    }
    default:
      break;
  }
  if (too_deep()) return nullptr;
  switch (value.kind()) {
    case Kind::List:
    case Kind::Vector:
      return items_to_list(value.as_items());
    case Kind::Map:
      return map_to_dict(value.as_map());
    default:
      return set_to_frozenset(value.as_set());
  }
}

}  // namespace quorvel::embed::py
