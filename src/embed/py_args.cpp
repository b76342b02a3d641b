#include "embed/py_args.h"

namespace quorvel::embed::py {

std::string type_name(PyObject* obj) {
  PyObject* name = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__");
  std::optional<std::string> text;
  if (name != nullptr && PyUnicode_Check(name)) text = utf8_text(name);
  Py_XDECREF(name);
  PyErr_Clear();
  return text.value_or("?");
}

std::optional<std::string> utf8_text(PyObject* str) {
  PyObject* bytes = PyUnicode_AsUTF8String(str);
  if (bytes == nullptr) return std::nullopt;
  char* data = nullptr;
  Py_ssize_t size = 0;
  std::optional<std::string> text;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) == 0) {
    text.emplace(data, static_cast<size_t>(size));
  }
  Py_DECREF(bytes);
  return text;
}

std::optional<std::string> text_arg(PyObject* arg, const char* function, const char* parameter) {
  if (!PyUnicode_Check(arg)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %s", function, parameter,
                 type_name(arg).c_str());
    return std::nullopt;
  }
  return utf8_text(arg);
}

PyObject* new_str(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

}  // namespace quorvel::embed::py
