// Values to text and back: str (display forms), pr-str (readable form),
// format (%s-style directives) and read-string (the reader on a string).
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

NativeResult native_str(VM& vm, std::span<const VMValue> args);
NativeResult native_pr_str(VM& vm, std::span<const VMValue> args);
NativeResult native_format(VM& vm, std::span<const VMValue> args);
NativeResult native_read_string(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
