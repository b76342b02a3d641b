// The Python class Keyword: a keyword value holding its name (without the
// colon). Immutable; equal names compare and hash alike.
#pragma once

#include <optional>
#include <string>

#include "embed/python.h"

namespace quorvel::embed::py {

// Creates the class and adds it to the module; false with an exception set.
bool add_keyword_type(PyObject* module);

// A new Keyword named `name`; nullptr with an exception set.
PyObject* new_keyword(const std::string& name);

// Whether `obj` is a Keyword (or of a subclass).
bool is_keyword(PyObject* obj);

// The name of a Keyword as UTF-8 text; nothing with an exception set.
std::optional<std::string> keyword_name(PyObject* keyword);

// SipHash-1-3 with zero keys over the UTF-8 name and the byte 0xFF, as a
// signed number; -1 (reserved by Python for errors) becomes -2.
Py_hash_t keyword_hash(const std::string& name);

}  // namespace quorvel::embed::py
