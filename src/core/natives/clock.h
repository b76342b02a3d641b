// The wall clock as seen by the language.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// (nano-time): nanoseconds since the Unix epoch (0 before it); arguments
// are ignored.
NativeResult native_nano_time(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
