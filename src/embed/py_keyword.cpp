#include "embed/py_keyword.h"

#include "embed/py_args.h"
#include "support/siphash.h"

namespace quorvel::embed::py {

namespace {

struct KeywordObject {
  PyObject ob_base;  // the object header
  PyObject* name;    // an exact str
  Py_hash_t hash;
};

PyTypeObject* keyword_type = nullptr;

KeywordObject* as_keyword(PyObject* obj) {
  return reinterpret_cast<KeywordObject*>(obj);
}

PyObject* alloc_keyword(PyTypeObject* type, const std::string& name) {
  PyObject* text = new_str(name);
  if (text == nullptr) return nullptr;
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) {
    Py_DECREF(text);
    return nullptr;
  }
  as_keyword(self)->name = text;
  as_keyword(self)->hash = keyword_hash(name);
  return self;
}

PyObject* keyword_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"name", nullptr};
  PyObject* name = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:Keyword", const_cast<char**>(keywords),
                                   &name)) {
    return nullptr;
  }
  // Re-encoding makes an exact str of a str subclass and rejects text that
  // has no UTF-8 form (lone surrogates).
  const auto text = text_arg(name, "Keyword", "name");
  if (!text) return nullptr;
  return alloc_keyword(type, *text);
}

void keyword_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  Py_XDECREF(as_keyword(self)->name);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

PyObject* keyword_str(PyObject* self) {
  Py_INCREF(as_keyword(self)->name);
  return as_keyword(self)->name;
}

PyObject* keyword_repr(PyObject* self) {
  return PyUnicode_FromFormat("Keyword(\"%U\")", as_keyword(self)->name);
}

Py_hash_t keyword_hash_slot(PyObject* self) {
  return as_keyword(self)->hash;
}

PyObject* keyword_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !is_keyword(other)) Py_RETURN_NOTIMPLEMENTED;
  return PyObject_RichCompare(as_keyword(self)->name, as_keyword(other)->name, op);
}

PyType_Slot keyword_slots[] = {
    {Py_tp_doc, const_cast<char*>("Keyword(name)\n--\n\nA Quorvel keyword; str() is its name.")},
    {Py_tp_new, reinterpret_cast<void*>(keyword_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(keyword_dealloc)},
    {Py_tp_str, reinterpret_cast<void*>(keyword_str)},
    {Py_tp_repr, reinterpret_cast<void*>(keyword_repr)},
    {Py_tp_hash, reinterpret_cast<void*>(keyword_hash_slot)},
    {Py_tp_richcompare, reinterpret_cast<void*>(keyword_richcompare)},
    {0, nullptr},
};

PyType_Spec keyword_spec = {
    "quorvel.Keyword", sizeof(KeywordObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    keyword_slots,
};

}  // namespace

Py_hash_t keyword_hash(const std::string& name) {
  SipHasher13 hasher;
  hasher.write(name);
  hasher.write_u8(0xFF);
  const auto hash = static_cast<int64_t>(hasher.finish());
  return static_cast<Py_hash_t>(hash == -1 ? -2 : hash);
}

bool add_keyword_type(PyObject* module) {
  keyword_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&keyword_spec));
  if (keyword_type == nullptr) return false;
  return PyModule_AddType(module, keyword_type) == 0;
}

PyObject* new_keyword(const std::string& name) {
  return alloc_keyword(keyword_type, name);
}

bool is_keyword(PyObject* obj) {
  return PyObject_TypeCheck(obj, keyword_type);
}

std::optional<std::string> keyword_name(PyObject* keyword) {
  return utf8_text(as_keyword(keyword)->name);
}

}  // namespace quorvel::embed::py
