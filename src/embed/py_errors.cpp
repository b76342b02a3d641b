#include "embed/py_errors.h"

#include <string>

#include "embed/py_args.h"

namespace quorvel::embed::py {

namespace {

PyObject* quorvel_error = nullptr;
PyObject* eval_error = nullptr;
PyObject* compile_error = nullptr;
PyObject* handler_error = nullptr;
PyObject* effect_not_found_error = nullptr;

// Creates the class, keeps a reference in `slot` and adds it to the module.
bool add_exception(PyObject* module, PyObject*& slot, const char* name, const char* doc,
                   PyObject* base) {
  const std::string qualified = std::string("quorvel.") + name;
  slot = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
  if (slot == nullptr) return false;
  Py_INCREF(slot);
  if (PyModule_AddObject(module, name, slot) < 0) {
    Py_DECREF(slot);
    return false;
  }
  return true;
}

PyObject* exception_for(const Error& error) {
  if (const auto* eval = std::get_if<Error::Eval>(&error.payload)) {
    return eval->error.kind() == EvalErrorKind::Runtime ? eval_error : compile_error;
  }
  if (std::holds_alternative<Error::Type>(error.payload)) return eval_error;
  if (std::holds_alternative<Error::InvalidEdn>(error.payload)) return compile_error;
  if (std::holds_alternative<Error::Handler>(error.payload)) return handler_error;
  return effect_not_found_error;
}

}  // namespace

bool add_exception_types(PyObject* module) {
  return add_exception(module, quorvel_error, "QuorvelError",
                       "Base exception for all Quorvel errors.", PyExc_Exception) &&
         add_exception(module, eval_error, "EvalError",
                       "Raised when Quorvel code fails to evaluate.", quorvel_error) &&
         add_exception(module, compile_error, "CompileError",
                       "Raised when Quorvel code fails to compile.", quorvel_error) &&
         add_exception(module, handler_error, "HandlerError",
                       "Raised when an effect handler callback fails.", quorvel_error) &&
         add_exception(module, effect_not_found_error, "EffectNotFoundError",
                       "Raised when a named effect does not exist.", quorvel_error);
}

PyObject* raise_error(const Error& error) {
  PyObject* message = new_str(error.display());
  if (message == nullptr) return nullptr;
  PyErr_SetObject(exception_for(error), message);
  Py_DECREF(message);
  return nullptr;
}

}  // namespace quorvel::embed::py
