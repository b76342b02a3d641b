// The two printed forms of runtime values. The display form is what `str`,
// `print`, `println`, `join` and `format` produce: strings as their text,
// nil as nothing, collections as placeholders such as "<seq>". The readable
// form is what `pr-str`, `prn` and the console use: strings quoted and
// escaped, nil as "nil", collections with their elements in readable form.
//
// Floats print in the shortest positional notation that reads back as the
// same value, without exponent and without ".0" (1.0 is 1, 1e21 is 1 and
// 21 zeros, 1e-7 is 0.0000001), and as inf, -inf and NaN.
#pragma once

#include <string>
#include <string_view>

#include "support/result.h"
#include "vm/error.h"
#include "vm/vmvalue.h"

namespace quorvel {

class VM;

// The message of the value error for data nested too deeply to print.
inline constexpr std::string_view kPrintTooDeepMessage =
    "stack overflow: data nested too deeply to print";

// The readable form when `readable` is true, the display form otherwise.
// Fails only for data nested too deeply for the thread's stack.
Result<std::string, VMError> print_value(const VM& vm, VMValue v, bool readable);

// The text of a float in the printed notation.
std::string float_to_text(double d);

// The text between the quotes of a readable string: every backslash
// doubled, every double quote preceded by a backslash.
std::string escape_string(std::string_view text);

}  // namespace quorvel
