// The extension module `quorvel`, built against the limited C API. Only
// PyInit_quorvel leaves the shared object.
#include "embed/edn.h"
#include "embed/py_args.h"
#include "embed/py_convert.h"
#include "embed/py_engine.h"
#include "embed/py_errors.h"
#include "embed/py_keyword.h"
#include "embed/python.h"

namespace quorvel::embed::py {

namespace {

PyObject* parse_edn(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"src", nullptr};
  PyObject* src = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:parse_edn", const_cast<char**>(names), &src)) {
    return nullptr;
  }
  const auto text = text_arg(src, "parse_edn", "src");
  if (!text) return nullptr;
  const auto value = edn::parse(*text);
  if (!value) return raise_error(value.error());
  return value_to_py(*value);
}

PyMethodDef module_functions[] = {
    {"parse_edn", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(parse_edn)),
     METH_VARARGS | METH_KEYWORDS, "parse_edn(src)\n--\n\n"},
    {"_set_gc_stress", set_gc_stress, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quorvel",
    "Quorvel: an embeddable Lisp with persistent data, algebraic effects and optics.",
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

bool populate(PyObject* module) {
  return add_engine_type(module) && add_keyword_type(module) &&
         PyModule_AddFunctions(module, module_functions) == 0 && add_exception_types(module) &&
         PyModule_AddStringConstant(module, "__version__", "0.1.0") == 0;
}

}  // namespace

}  // namespace quorvel::embed::py

PyMODINIT_FUNC PyInit_quorvel(void) {
  PyObject* module = PyModule_Create(&quorvel::embed::py::module_def);
  if (module == nullptr) return nullptr;
  if (!quorvel::embed::py::populate(module)) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
