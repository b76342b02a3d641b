// The extension module `quorvel`, built against the limited C API.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace {

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

}  // namespace

PyMODINIT_FUNC PyInit_quorvel(void) {
  PyObject* module = PyModule_Create(&module_def);
  if (module == nullptr) return nullptr;
  if (PyModule_AddStringConstant(module, "__version__", "0.1.0") < 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
