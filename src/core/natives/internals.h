// Internal natives that compiled code calls: raising its own failures and
// making effect values.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// (__throw-arity expected got): always an ArityError.
NativeResult native_throw_arity(VM& vm, std::span<const VMValue> args);
// (assert-failed message?): always an AssertionFailed.
NativeResult native_assert_failed(VM& vm, std::span<const VMValue> args);
// (__make_effect__ [name arity ...]): a new Effect with the next effect id.
NativeResult native_make_effect(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
