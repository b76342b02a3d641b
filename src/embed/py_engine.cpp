#include "embed/py_engine.h"

#include <string>

#include "embed/engine.h"
#include "embed/py_args.h"
#include "embed/py_convert.h"
#include "embed/py_errors.h"

namespace quorvel::embed::py {

namespace {

struct EngineObject {
  PyObject ob_base;  // the object header
  Engine* engine;
  unsigned long thread;  // the creating thread
  bool busy;             // a method of this engine is running
};

PyTypeObject* engine_type = nullptr;

EngineObject* as_engine(PyObject* obj) {
  return reinterpret_cast<EngineObject*>(obj);
}

// Takes the engine for one method call: refused from another thread and
// while another call into the same engine is running.
class Borrow {
 public:
  explicit Borrow(PyObject* self) : self_(as_engine(self)) {
    if (PyThread_get_thread_ident() != self_->thread) {
      PyErr_SetString(PyExc_RuntimeError,
                      "Engine used from a thread other than the one that created it");
      return;
    }
    if (self_->busy) {
      PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
      return;
    }
    self_->busy = true;
    taken_ = true;
  }
  ~Borrow() {
    if (taken_) self_->busy = false;
  }
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;

  explicit operator bool() const { return taken_; }
  Engine& engine() const { return *self_->engine; }

 private:
  EngineObject* self_;
  bool taken_ = false;
};

PyObject* wrap(Engine engine) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(engine_type, Py_tp_alloc));
  PyObject* self = alloc(engine_type, 0);
  if (self == nullptr) return nullptr;
  as_engine(self)->engine = new Engine(std::move(engine));
  as_engine(self)->thread = PyThread_get_thread_ident();
  as_engine(self)->busy = false;
  return self;
}

PyObject* with_defaults() {
  auto engine = Engine::with_default_handlers();
  if (!engine) return raise_error(engine.error());
  return wrap(std::move(engine).value());
}

// Parses exactly the named parameters, by position or by name.
template <class... Objects>
bool parse(PyObject* args, PyObject* kwargs, const char* format, const char* const* names,
           Objects**... out) {
  return PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(names), out...) != 0;
}

PyObject* engine_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {nullptr};
  if (!parse(args, kwargs, ":Engine", names)) return nullptr;
  return with_defaults();
}

void engine_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  // An engine is used only on its own thread; released elsewhere, it is
  // left alone rather than torn down there.
  if (as_engine(self)->thread == PyThread_get_thread_ident()) delete as_engine(self)->engine;
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

PyObject* engine_bare(PyObject*, PyObject*) {
  return wrap(Engine::bare());
}

PyObject* engine_with_defaults(PyObject*, PyObject*) {
  return with_defaults();
}

PyObject* result_to_py(const Result<Value, Error>& result) {
  if (!result) return raise_error(result.error());
  return value_to_py(*result);
}

// The language writes to the process's standard output directly; what the
// program printed through sys.stdout and still buffers must come out first.
void flush_python_stdout() {
  PyObject* out = PySys_GetObject("stdout");  // borrowed; may be absent
  if (!out || out == Py_None) return;
  PyObject* done = PyObject_CallMethod(out, "flush", nullptr);
  if (done) {
    Py_DECREF(done);
  } else {
    PyErr_Clear();  // a stream that cannot flush does not stop the evaluation
  }
}

PyObject* engine_eval(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"src", nullptr};
  PyObject* src = nullptr;
  if (!parse(args, kwargs, "O:eval", names, &src)) return nullptr;
  const auto text = text_arg(src, "eval", "src");
  if (!text) return nullptr;
  Borrow borrow(self);
  if (!borrow) return nullptr;
  flush_python_stdout();
  return result_to_py(borrow.engine().eval(*text));
}

PyObject* engine_eval_with_source(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"src", "source_name", nullptr};
  PyObject* src = nullptr;
  PyObject* source_name = nullptr;
  if (!parse(args, kwargs, "OO:eval_with_source", names, &src, &source_name)) return nullptr;
  const auto text = text_arg(src, "eval_with_source", "src");
  if (!text) return nullptr;
  const auto source = text_arg(source_name, "eval_with_source", "source_name");
  if (!source) return nullptr;
  Borrow borrow(self);
  if (!borrow) return nullptr;
  flush_python_stdout();
  return result_to_py(borrow.engine().eval_with_source(*text, *source));
}

PyObject* engine_define(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"name", "val", nullptr};
  PyObject* name = nullptr;
  PyObject* val = nullptr;
  if (!parse(args, kwargs, "OO:define", names, &name, &val)) return nullptr;
  const auto text = text_arg(name, "define", "name");
  if (!text) return nullptr;
  Borrow borrow(self);
  if (!borrow) return nullptr;
  // Converting may run Python code (str() of an arbitrary object), so the
  // engine is already taken while it runs.
  const auto value = py_to_value(val);
  if (!value) return nullptr;
  const auto defined = borrow.engine().define(*text, *value);
  if (!defined) return raise_error(defined.error());
  Py_RETURN_NONE;
}

PyMethodDef engine_methods[] = {
    {"bare", engine_bare, METH_NOARGS | METH_STATIC, "bare()\n--\n\n"},
    {"with_defaults", engine_with_defaults, METH_NOARGS | METH_STATIC, "with_defaults()\n--\n\n"},
    {"eval", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(engine_eval)),
     METH_VARARGS | METH_KEYWORDS, "eval($self, src)\n--\n\n"},
    {"eval_with_source",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(engine_eval_with_source)),
     METH_VARARGS | METH_KEYWORDS, "eval_with_source($self, src, source_name)\n--\n\n"},
    {"define", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(engine_define)),
     METH_VARARGS | METH_KEYWORDS, "define($self, name, val)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot engine_slots[] = {
    {Py_tp_doc, const_cast<char*>("Engine()\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(engine_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(engine_dealloc)},
    {Py_tp_methods, engine_methods},
    {0, nullptr},
};

PyType_Spec engine_spec = {
    "quorvel.Engine", sizeof(EngineObject), 0, Py_TPFLAGS_DEFAULT, engine_slots,
};

}  // namespace

bool add_engine_type(PyObject* module) {
  engine_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&engine_spec));
  if (engine_type == nullptr) return false;
  return PyModule_AddType(module, engine_type) == 0;
}

PyObject* set_gc_stress(PyObject*, PyObject* args) {
  PyObject* engine = nullptr;
  int on = 0;
  if (!PyArg_ParseTuple(args, "O!p:_set_gc_stress", engine_type, &engine, &on)) return nullptr;
  Borrow borrow(engine);
  if (!borrow) return nullptr;
  borrow.engine().runtime().vm().heap().set_stress(on != 0);
  Py_RETURN_NONE;
}

}  // namespace quorvel::embed::py
