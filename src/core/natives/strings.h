// String natives: substrings, length, splitting and joining, case
// conversion, trimming, prefix and suffix tests, and the names of symbols
// and keywords. Positions and lengths count characters, not bytes.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

NativeResult native_subs(VM& vm, std::span<const VMValue> args);
NativeResult native_string_length(VM& vm, std::span<const VMValue> args);
NativeResult native_split(VM& vm, std::span<const VMValue> args);
NativeResult native_join(VM& vm, std::span<const VMValue> args);
NativeResult native_upper_case(VM& vm, std::span<const VMValue> args);
NativeResult native_lower_case(VM& vm, std::span<const VMValue> args);
NativeResult native_trim(VM& vm, std::span<const VMValue> args);
NativeResult native_triml(VM& vm, std::span<const VMValue> args);
NativeResult native_trimr(VM& vm, std::span<const VMValue> args);
NativeResult native_starts_with(VM& vm, std::span<const VMValue> args);
NativeResult native_ends_with(VM& vm, std::span<const VMValue> args);

// Names: name, namespace, symbol, keyword.
NativeResult native_name(VM& vm, std::span<const VMValue> args);
NativeResult native_namespace(VM& vm, std::span<const VMValue> args);
NativeResult native_symbol(VM& vm, std::span<const VMValue> args);
NativeResult native_keyword(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
