// Argument extraction shared by the module's functions and methods.
#pragma once

#include <optional>
#include <string>

#include "embed/python.h"

namespace quorvel::embed::py {

// The UTF-8 text of a str argument; otherwise nothing, with a TypeError
// naming the function and the parameter.
std::optional<std::string> text_arg(PyObject* arg, const char* function, const char* parameter);

// The UTF-8 text of a str object, or nothing with the encoding error set.
std::optional<std::string> utf8_text(PyObject* str);

// A new str from UTF-8 text, invalid bytes replaced.
PyObject* new_str(const std::string& text);

// The name of the object's type ("int", "list", ...).
std::string type_name(PyObject* obj);

}  // namespace quorvel::embed::py
