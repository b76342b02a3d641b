// Host values to Python objects and back.
#pragma once

#include <optional>

#include "embed/host_value.h"
#include "embed/python.h"

namespace quorvel::embed::py {

// None, bool, int (64-bit), float, str, Keyword, list/tuple (as vectors),
// dict, set/frozenset and fractions.Fraction convert to their host values;
// any other object becomes the string of its str(). Nothing, with the
// Python exception set, when a conversion fails.
std::optional<Value> py_to_value(PyObject* obj);

// A new Python object: lists and vectors as list, maps as dict, sets as
// frozenset, ratios as fractions.Fraction, regexes through re.compile,
// symbols and opaque values as str. nullptr with the exception set.
PyObject* value_to_py(const Value& value);

}  // namespace quorvel::embed::py
