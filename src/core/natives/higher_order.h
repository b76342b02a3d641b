// Higher-order natives: they call function values back through VM::apply
// (map, filter, reduce, apply, sort with a comparator, sort-by).
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

NativeResult native_map(VM& vm, std::span<const VMValue> args);
NativeResult native_filter(VM& vm, std::span<const VMValue> args);
// (reduce f coll) or (reduce f init coll); stops early on a Reduced value
// once the ReduceSignal type is recorded in vm.reduce_signal_type.
NativeResult native_reduce(VM& vm, std::span<const VMValue> args);
NativeResult native_apply(VM& vm, std::span<const VMValue> args);
// (sort coll) in natural order or (sort comparator coll); stable.
NativeResult native_sort(VM& vm, std::span<const VMValue> args);
// (sort-by keyfn coll): one key per element, stable natural order of keys.
NativeResult native_sort_by(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
