// The CPython C API as the embedding uses it: the limited API, sizes as
// Py_ssize_t.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
