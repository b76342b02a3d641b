// Collection natives: reading the ends of sequences, counting, and building
// lists, vectors and sets, including adding items with conj and into.
// Every member put into a set, and every key put into a map, is
// canonicalised first, so equal strings and collections collide.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// --- Access ---------------------------------------------------------------
NativeResult native_first(VM& vm, std::span<const VMValue> args);
NativeResult native_last(VM& vm, std::span<const VMValue> args);
// The rest keeps the input's list-or-vector flag.
NativeResult native_rest(VM& vm, std::span<const VMValue> args);
// A non-empty list or vector as a list; nil for nil and empty input.
NativeResult native_seq(VM& vm, std::span<const VMValue> args);
NativeResult native_count(VM& vm, std::span<const VMValue> args);
NativeResult native_is_empty(VM& vm, std::span<const VMValue> args);
// An empty collection of the input's kind.
NativeResult native_empty(VM& vm, std::span<const VMValue> args);

// --- Building ---------------------------------------------------------------
NativeResult native_list(VM& vm, std::span<const VMValue> args);
NativeResult native_vector(VM& vm, std::span<const VMValue> args);
NativeResult native_hash_set(VM& vm, std::span<const VMValue> args);
// A set of a collection's items (a string's characters, a map's pairs).
NativeResult native_set(VM& vm, std::span<const VMValue> args);
// (cons x coll): always a list.
NativeResult native_cons(VM& vm, std::span<const VMValue> args);
// (conj coll x ...): a list gets the items in front in argument order.
NativeResult native_conj(VM& vm, std::span<const VMValue> args);
// (into target source): a list (or nil) gets the items in front reversed.
NativeResult native_into(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
