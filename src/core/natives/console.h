// The console natives: they write straight to the process's standard output
// (not through the console effect) and return nil.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// The display texts joined by spaces, with no line end.
NativeResult native_print(VM& vm, std::span<const VMValue> args);
// The display texts joined by spaces, then a newline.
NativeResult native_println(VM& vm, std::span<const VMValue> args);
// The readable texts joined by spaces, then a newline.
NativeResult native_prn(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
