// The exception classes of the module and the mapping of embedding errors
// onto them.
#pragma once

#include "embed/error.h"
#include "embed/python.h"

namespace quorvel::embed::py {

// Creates QuorvelError and its four subclasses and adds them to the module;
// false with an exception set.
bool add_exception_types(PyObject* module);

// Raises the Python exception of `error`, whose one argument is the error's
// display; returns nullptr for the caller to return.
PyObject* raise_error(const Error& error);

}  // namespace quorvel::embed::py
