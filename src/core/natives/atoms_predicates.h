// Atoms (the one mutable kind of object), the type predicates and `type`.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// --- Atoms ------------------------------------------------------------------
NativeResult native_atom(VM& vm, std::span<const VMValue> args);
NativeResult native_deref(VM& vm, std::span<const VMValue> args);
NativeResult native_reset(VM& vm, std::span<const VMValue> args);
// (swap! a f extra ...): stores (f current extra ...) unless the call fails.
NativeResult native_swap(VM& vm, std::span<const VMValue> args);

// --- Predicates: each tests its first argument ------------------------------
NativeResult native_is_nil(VM& vm, std::span<const VMValue> args);
NativeResult native_is_number(VM& vm, std::span<const VMValue> args);
NativeResult native_is_int(VM& vm, std::span<const VMValue> args);
NativeResult native_is_float(VM& vm, std::span<const VMValue> args);
NativeResult native_is_ratio(VM& vm, std::span<const VMValue> args);
NativeResult native_is_string(VM& vm, std::span<const VMValue> args);
NativeResult native_is_keyword(VM& vm, std::span<const VMValue> args);
NativeResult native_is_symbol(VM& vm, std::span<const VMValue> args);
NativeResult native_is_fn(VM& vm, std::span<const VMValue> args);
// list? and seq?: a vector is neither.
NativeResult native_is_list(VM& vm, std::span<const VMValue> args);
NativeResult native_is_vector(VM& vm, std::span<const VMValue> args);
NativeResult native_is_map(VM& vm, std::span<const VMValue> args);
NativeResult native_is_set(VM& vm, std::span<const VMValue> args);
NativeResult native_is_coll(VM& vm, std::span<const VMValue> args);
NativeResult native_is_effect(VM& vm, std::span<const VMValue> args);

// (type x): the keyword naming x's kind, or a variant's type name.
NativeResult native_type(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
