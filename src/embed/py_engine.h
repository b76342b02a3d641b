// The Python class Engine: one engine per object, bound to the thread that
// created it and taken exclusively by every method call.
#pragma once

#include "embed/python.h"

namespace quorvel::embed::py {

// Creates the class and adds it to the module; false with an exception set.
bool add_engine_type(PyObject* module);

// _set_gc_stress(engine, on): switches the heap's stress mode (a collection
// at every allocation where one is allowed). For tests; not part of the API.
PyObject* set_gc_stress(PyObject* module, PyObject* args);

}  // namespace quorvel::embed::py
