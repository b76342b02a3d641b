// Slicing and generating natives: the first n elements, all but the last n,
// reversal, n copies of a value, integer ranges, and sub-vectors. Counts and
// bounds outside a sequence clamp instead of failing.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// (take n coll): keeps the input's list-or-vector flag.
NativeResult native_take(VM& vm, std::span<const VMValue> args);
// (drop-last coll) or (drop-last n coll): always a vector.
NativeResult native_drop_last(VM& vm, std::span<const VMValue> args);
// A list of the elements in reverse order.
NativeResult native_reverse(VM& vm, std::span<const VMValue> args);
// (repeat n x): a list of n copies; none for n <= 0.
NativeResult native_repeat(VM& vm, std::span<const VMValue> args);
// (range end), (range start end) or (range start end step): a list.
NativeResult native_range(VM& vm, std::span<const VMValue> args);
// (__subvec coll start end?): bounds read as unsigned, end clamped.
NativeResult native_subvec(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
