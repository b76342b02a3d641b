// Map natives: building maps, associating and removing keys (assoc also
// replaces vector elements and variant fields), listing keys and values,
// and membership. Keys are canonicalised on every insertion, lookup and
// removal, so equal strings and collections find each other.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

NativeResult native_hash_map(VM& vm, std::span<const VMValue> args);
NativeResult native_assoc(VM& vm, std::span<const VMValue> args);
NativeResult native_dissoc(VM& vm, std::span<const VMValue> args);
// keys and vals list the entries in the same (map iteration) order.
NativeResult native_keys(VM& vm, std::span<const VMValue> args);
NativeResult native_vals(VM& vm, std::span<const VMValue> args);
// A key of a map, a member of a set, or an index of a list or vector.
NativeResult native_contains(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
