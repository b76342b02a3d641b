// Sequence natives: indexed access, lookup, dropping, concatenation and
// conversion to a vector.
#pragma once

#include <span>

#include "support/result.h"
#include "vm/error.h"
#include "vm/native.h"
#include "vm/vmvalue.h"

namespace quorvel {

NativeResult native_nth(VM& vm, std::span<const VMValue> args);
NativeResult native_get(VM& vm, std::span<const VMValue> args);
NativeResult native_drop(VM& vm, std::span<const VMValue> args);
NativeResult native_concat(VM& vm, std::span<const VMValue> args);
NativeResult native_vec(VM& vm, std::span<const VMValue> args);

// A new one-character string.
VMValue char_string(VM& vm, char32_t cp);
// Whether the set has a member language-equal to the key.
Result<bool, VMError> set_has(VM& vm, const VMSet& set, VMValue key);

}  // namespace quorvel
